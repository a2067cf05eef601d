// Loads the firmware named by its one argument from this program's own
// directory, as the updater does, and prints "stepBlocks length". A test copies
// it into a directory of its choosing, which it cannot do with itself.
#include <cstdio>
#include <cstring>

#include "common/launch_options.h"
#include "transfer/firmware_image.h"

int main(int argc, char** argv) {
    if (argc != 2 || std::strlen(argv[1]) >= kFirmwareNameSize) {
        std::fprintf(stderr, "usage: firmware_image_loader NAME\n");
        return 2;
    }
    std::strcpy(launchOptions.firmwareName, argv[1]);
    const std::int32_t stepBlocks = LoadFirmwareImage();
    std::printf("%d %d\n", static_cast<int>(stepBlocks),
                static_cast<int>(stepBlocks > 0 ? firmwareImage.length : 0));
    return 0;
}
