// Symbols of the platform library that its users may call.
#pragma once

#define PLATFORM_API __attribute__((visibility("default")))
