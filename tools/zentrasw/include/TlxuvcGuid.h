#pragma once

// The filter's class ids as Windows GUIDs (Windows builds only).

#include "TlxuvcClassIds.h"

#include <guiddef.h>

#include <cstring>

namespace tlxuvc {

inline GUID toGuid(const ClassId &id)
{
    GUID guid;
    guid.Data1 = id.data1;
    guid.Data2 = id.data2;
    guid.Data3 = id.data3;
    std::memcpy(guid.Data4, id.data4, sizeof guid.Data4);
    return guid;
}

} // namespace tlxuvc
