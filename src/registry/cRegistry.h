// Registry key and value access.
#pragma once
