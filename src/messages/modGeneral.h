// Showing catalogue messages.
#pragma once
