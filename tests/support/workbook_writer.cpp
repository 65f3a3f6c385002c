#include "support/workbook_writer.h"

#include <zip.h>

namespace kinvar::test {

namespace {

const char* const kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char* const kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::string Escape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

bool WriteZip(const std::string& path, const std::vector<ZipPart>& parts) {
  int error = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (z == nullptr) return false;
  for (const ZipPart& part : parts) {
    zip_source_t* source = zip_source_buffer(z, part.data.data(), part.data.size(), 0);
    const zip_int64_t index = source ? zip_file_add(z, part.name.c_str(), source, ZIP_FL_OVERWRITE) : -1;
    if (index < 0) {
      if (source) zip_source_free(source);
      zip_discard(z);
      return false;
    }
    zip_set_file_compression(z, static_cast<zip_uint64_t>(index), part.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
  }
  return zip_close(z) == 0;
}

std::string ZipBytes(const std::vector<ZipPart>& parts) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (buffer == nullptr) return {};
  zip_t* z = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
  if (z == nullptr) {
    zip_source_free(buffer);
    return {};
  }
  zip_source_keep(buffer);  // zip_close would free it otherwise
  bool ok = true;
  for (const ZipPart& part : parts) {
    zip_source_t* source = zip_source_buffer(z, part.data.data(), part.data.size(), 0);
    const zip_int64_t index = source ? zip_file_add(z, part.name.c_str(), source, ZIP_FL_OVERWRITE) : -1;
    if (index < 0) {
      if (source) zip_source_free(source);
      ok = false;
      break;
    }
    zip_set_file_compression(z, static_cast<zip_uint64_t>(index), part.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
  }
  if (!ok || zip_close(z) != 0) {
    zip_discard(z);  // still open: closing failed or never began
    zip_source_free(buffer);
    return {};
  }
  std::string bytes;
  if (zip_source_open(buffer) == 0) {
    zip_source_seek(buffer, 0, SEEK_END);
    const zip_int64_t size = zip_source_tell(buffer);
    zip_source_seek(buffer, 0, SEEK_SET);
    if (size > 0) {
      bytes.resize(static_cast<std::size_t>(size));
      if (zip_source_read(buffer, bytes.data(), static_cast<zip_uint64_t>(size)) != size) bytes.clear();
    }
    zip_source_close(buffer);
  }
  zip_source_free(buffer);
  return bytes;
}

std::vector<ZipPart> WorkbookParts(const WorkbookLayout& layout) {
  std::string types =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "</Types>";
  std::string rootRels = std::string("<?xml version=\"1.0\"?>\n<Relationships xmlns=\"") +
                         "http://schemas.openxmlformats.org/package/2006/relationships\">"
                         "<Relationship Id=\"rId1\" Type=\"" + kRel + "/officeDocument\" Target=\"xl/workbook.xml\"/>"
                         "</Relationships>";
  std::string book = std::string("<?xml version=\"1.0\"?>\n<workbook xmlns=\"") + kMain + "\" xmlns:r=\"" + kRel +
                     "\"><workbookPr" + (layout.date1904 ? " date1904=\"1\"" : "") + "/><sheets>";
  std::string rels = "<?xml version=\"1.0\"?>\n<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  std::vector<ZipPart> parts;
  for (std::size_t i = 0; i < layout.sheets.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    book += "<sheet name=\"" + Escape(layout.sheets[i].name) + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
    rels += "<Relationship Id=\"rId" + n + "\" Type=\"" + kRel + "/worksheet\" Target=\"worksheets/sheet" + n + ".xml\"/>";
    parts.push_back({"xl/worksheets/sheet" + n + ".xml",
                     std::string("<?xml version=\"1.0\"?>\n<worksheet xmlns=\"") + kMain + "\"><sheetData>" +
                         layout.sheets[i].rows + "</sheetData></worksheet>"});
  }
  book += "</sheets></workbook>";
  if (!layout.sharedStrings.empty()) {
    rels += std::string("<Relationship Id=\"rIdS\" Type=\"") + kRel + "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
    parts.push_back({"xl/sharedStrings.xml", layout.sharedStrings});
  }
  if (!layout.styles.empty()) {
    rels += std::string("<Relationship Id=\"rIdY\" Type=\"") + kRel + "/styles\" Target=\"styles.xml\"/>";
    parts.push_back({"xl/styles.xml", layout.styles});
  }
  rels += "</Relationships>";
  parts.insert(parts.begin(), {{"[Content_Types].xml", types}, {"_rels/.rels", rootRels},
                               {"xl/workbook.xml", book}, {"xl/_rels/workbook.xml.rels", rels}});
  return parts;
}

std::string StylesXml(const std::vector<std::pair<int, std::string>>& customFormats,
                      const std::vector<int>& cellFormats) {
  std::string xml = std::string("<?xml version=\"1.0\"?>\n<styleSheet xmlns=\"") + kMain + "\"><numFmts>";
  for (const auto& [id, code] : customFormats)
    xml += "<numFmt numFmtId=\"" + std::to_string(id) + "\" formatCode=\"" + Escape(code) + "\"/>";
  xml += "</numFmts><cellXfs>";
  for (const int id : cellFormats) xml += "<xf numFmtId=\"" + std::to_string(id) + "\"/>";
  return xml + "</cellXfs></styleSheet>";
}

std::string SharedStringsXml(const std::vector<std::string>& strings) {
  std::string xml = std::string("<?xml version=\"1.0\"?>\n<sst xmlns=\"") + kMain + "\">";
  for (const std::string& s : strings) xml += "<si><t>" + Escape(s) + "</t></si>";
  return xml + "</sst>";
}

}  // namespace kinvar::test
