#pragma once

#include <cstdint>
#include <string_view>

#include "ntfs/MftFile.h"
#include "volume/VolumeContext.h"

namespace rekkon {

// The descriptor of the file's attribute with `typeCode` and `name` (UTF-8, compared whole and
// without regard to case through the volume's upcase table), or null. An empty name asks for the
// unnamed attribute. The search stops at the first descriptor of a greater type code.
const AttributeDescriptor* findAttribute(const MftFile& file, std::uint32_t typeCode,
                                         std::string_view name = {});

// Reads request.count bytes of the named attribute's data at `position` (readAttributeData).
// Returns -1 with request.count 0 when the file has no such attribute.
int readAttribute(MftFile& file, std::uint32_t typeCode, std::string_view name,
                  std::uint64_t position, TransferRequest& request);

// Like readAttribute, but a request that reaches past the data size is served with zeros up to
// the allocated size: the zero range is cleared, the data below the data size read over it, and
// request.count set to the bytes delivered, zeros included (a read that comes back short leaves
// its own count). A position at or past the allocated size gives -1.
int readAttributeZeroFilled(MftFile& file, std::uint32_t typeCode, std::string_view name,
                            std::uint64_t position, TransferRequest& request);

}  // namespace rekkon
