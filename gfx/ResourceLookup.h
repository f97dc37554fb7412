#pragma once

// Finding the editor's images and fonts by name. An image may exist in
// several resolutions, stored as "NAME@<scale>x.EXT" next to (or instead of)
// the plain name, which is the scale-1 variant. Lookups go through
// plug::FindModuleResource, so they ignore letter case in the module and fall
// back to files on disk.

#include "plug/ModuleResources.h"

#include <cstdint>
#include <string>
#include <vector>

namespace gfx {

/**
 * The scales to try, best first, for an image wanted at targetScale: the
 * target itself, then 3, then downwards to 1, each scale once (2: 2, 3, 1;
 * 4: 4, 3, 2, 1). Targets below 1 are taken as 1.
 */
std::vector<int> ScaleSearchOrder(int targetScale);

/**
 * The name of an image's variant at a scale: the name itself at 1, else the
 * scale inserted before the extension ("img/KNOB.png" at 2: "img/KNOB@2x.png",
 * "KNOB" at 2: "KNOB@2x"). A dot inside a folder name does not start an
 * extension.
 */
std::string ScaledImageName(const std::string& name, int scale);

/**
 * Locates the best-scaled variant of an image, trying ScaleSearchOrder's
 * scales in turn with the extension as the resource type ("png"), first among
 * the module's resources, then as files on disk. On success
 * location and foundScale are set as plug::FindModuleResource sets its
 * located name; when nothing is found both are left unchanged.
 */
plug::EResourceLocation FindScaledImage(const char* name, const char* extension, std::string& location,
                                        int targetScale, int& foundScale,
                                        plug::ModuleRef module = plug::CurrentModule());

/**
 * The whole contents of a module resource of the type, else of the file of
 * that name on disk; empty when neither exists or it cannot be read.
 */
std::vector<uint8_t> ReadResourceBytes(const char* name, const char* type,
                                       plug::ModuleRef module = plug::CurrentModule());

} // namespace gfx
