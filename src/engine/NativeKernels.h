#pragma once
// Native code for the kernels the application ships in its resources ("MyRadialDistortion",
// "MyVignetting"). Each carries the kernel text it computes, so it is used only while the
// resource still says the same thing; an edited resource runs in the interpreter.
#include <memory>
#include <string>

#include "coreimage/CIKernel.h"

// The native code for the kernel resource of that name, or null.
std::shared_ptr<const qv::ci::NativeKernel> nativeKernelForResource(const std::string& resourceName);
