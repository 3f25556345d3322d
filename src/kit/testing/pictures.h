// Pictures that tests draw for people to look at.
#pragma once

#include <string>

#include "kit/graphics/image.h"

namespace kit {

// Writes the image as PNG into the folder "pictures" beside the test program, in the build tree
// (never the source tree or a shared temporary folder); false when it could not.
bool writeTestPicture(const ImageRef& image, const std::string& name);

}  // namespace kit
