#pragma once
// The library hides everything but the entry points another program may call.
#define AUTOIEPCENSAD_EXPORT __attribute__((visibility("default")))
