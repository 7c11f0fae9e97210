// Marks the functions and classes that the KvMediaFile library exports; everything else in
// it stays hidden.
#pragma once

#if defined(__GNUC__)
#define KV_MEDIA_API __attribute__((visibility("default")))
#else
#define KV_MEDIA_API
#endif
