// The formats carving knows: one line each, in the order their start tests are tried (the more
// specific signatures first).
#include <algorithm>

#include "carve/CarveFormat.h"
#include "carve/GzipFormat.h"
#include "carve/PdfFormat.h"
#include "carve/RarFormat.h"
#include "carve/SevenZipFormat.h"
#include "carve/SqliteFormat.h"
#include "carve/ZipFormat.h"

namespace rekkon {

const std::vector<CarveFormat>& carveFormats() {
    static const std::vector<CarveFormat> formats = {
        {"zip", "ZIP archive or document", zipStarts, checkZip, 1ull << 34},
        {"pdf", "PDF document", pdfStarts, checkPdf, 1ull << 31},
        {"sqlite", "SQLite database", sqliteStarts, checkSqlite, 1ull << 36},
        {"gz", "GZIP compressed file", gzipStarts, checkGzip, 1ull << 34},
        {"7z", "7z archive", sevenZipStarts, checkSevenZip, 1ull << 36},
        {"rar", "RAR archive", rarStarts, checkRar, 1ull << 36},
    };
    return formats;
}

const CarveFormat* findCarveFormat(std::string_view type) {
    const auto& all = carveFormats();
    const auto it = std::find_if(all.begin(), all.end(),
                                 [type](const CarveFormat& f) { return f.type == type; });
    return it == all.end() ? nullptr : &*it;
}

}  // namespace rekkon
