#include "process_handles.h"

HINSTANCE appInstance = nullptr;
HICON appIcon = nullptr;
