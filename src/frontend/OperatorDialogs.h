// OperatorDialogs (in progress).
#pragma once
