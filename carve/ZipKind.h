#pragma once

#include <string>
#include <string_view>

namespace rekkon {

// What a ZIP archive's entries say it holds: the extension ("docx", "odt", "epub", "jar"...;
// empty for a plain archive) and a title from its properties.
class ZipKind {
  public:
    // Called for every entry in order; `content` is the entry's first bytes where wanted()
    // asked for them (empty otherwise).
    void entry(std::string_view name, std::string_view content);
    // Whether the content of the entry `name` tells something (the mimetype, the properties).
    static bool wanted(std::string_view name);

    std::string extension() const;
    const std::string& title() const { return title_; }

  private:
    std::string mimetype_;
    std::string title_;
    bool word_ = false, excel_ = false, powerpoint_ = false, manifest_ = false;
    bool androidManifest_ = false, dex_ = false;
};

// The text of the first <dc:title> element of an XML document (entities decoded), or empty.
std::string xmlTitle(std::string_view xml);

}  // namespace rekkon
