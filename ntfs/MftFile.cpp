#include "ntfs/MftFile.h"

#include "volume/TextEncoding.h"

namespace rekkon {

std::string AttributeDescriptor::nameUtf8() const {
    return utf16ToUtf8(attributeName);
}

std::uint64_t AttributeDescriptor::runClusters() const {
    if (runs.size() < countedRuns) {
        countedRuns = 0;
        countedClusters = 0;
    }
    // Fragments are only joined while the sum stays representable (RunList.cpp), so no overflow.
    for (; countedRuns < runs.size(); ++countedRuns)
        countedClusters += runs[countedRuns].length;
    return countedClusters;
}

void closeMftFile(MftFile& file) {
    if (!file.isOpen()) return;
    file.recordBuffer = {};
    file.attributes = {};
    file.loadedRecords = {};
    file.attributeIndex = {};
    file.loadedRecordSet = {};
    file.attributeOrder.clear();
    file.attributesInOrder = true;
    file.spareContents = {};
    file.spareRuns = {};
}

}  // namespace rekkon
