#include "app/typed_address.h"

char typedAddress[kTypedAddressSize] = {};
