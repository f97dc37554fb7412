/* stb_image_write compiled once for the tool. */
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
