#pragma once
// What libsauno-material exports: the library is built with every symbol hidden, and the
// declarations of its installed headers carry this mark. Programs linking the static library
// see the same declarations; the mark changes nothing for them.
#define SAUNO_MATERIAL_EXPORT __attribute__((visibility("default")))
