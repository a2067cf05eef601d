#include "common/launch_options.h"

LaunchOptions launchOptions;
