#include "app/launch_options.h"

LaunchOptions launchOptions;
