#include "common/typed_address.h"

char typedAddress[kTypedAddressSize] = {};
