// Export control: the shared library is built with hidden visibility and exports
// exactly what carries VORM_API.
#pragma once

#if defined(VORM_BUILDING_LIBRARY)
#define VORM_API __attribute__((visibility("default")))
#else
#define VORM_API
#endif
