# The loader lets a test run LoadFirmwareImage from a directory whose name has
# double-byte characters: a running test cannot move its own executable there.
# Such directory names are plain bytes on POSIX only, so the case runs there.
if(NOT WIN32)
    add_executable(firmware_image_loader ${CMAKE_CURRENT_LIST_DIR}/support/firmware_image_loader.cpp)
    target_link_libraries(firmware_image_loader PRIVATE ethbox_core)
    add_dependencies(firmware_image_test firmware_image_loader)
    target_compile_definitions(firmware_image_test PRIVATE
        ETHBOX_FIRMWARE_IMAGE_LOADER="$<TARGET_FILE:firmware_image_loader>"
        ETHBOX_TEST_EXECUTABLE="$<TARGET_FILE:firmware_image_test>")
endif()
