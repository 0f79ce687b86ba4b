// OBJ text into the host document. Every byte sequence must either import
// into a document whose faces only name vertices of their own object, or
// fail with one line that starts with the file's name and leaves the
// document as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "document.h"
#include "fuzz_check.h"
#include "obj_import.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  host::Document document;
  host::AddObject(document, "before");  // must survive a failed import untouched
  std::string error;
  const bool imported = host::ImportObjFromString(text, "fuzz.obj", 1.0, document, &error);
  if (!imported) {
    FUZZ_CHECK(document.objects.size() == 1);
    FUZZ_CHECK(error.rfind("fuzz.obj", 0) == 0);
    FUZZ_CHECK(error.find('\n') == std::string::npos);
    FUZZ_CHECK(error.size() < 400);
    return 0;
  }
  FUZZ_CHECK(document.objects.size() >= 1);
  FUZZ_CHECK(document.objects[0]->name == "before");
  for (size_t i = 1; i < document.objects.size(); ++i) {
    const host::Object& object = *document.objects[i];
    size_t used = 0;
    for (const host::Face& face : object.faces) {
      FUZZ_CHECK(face.points.size() == face.uvs.size());
      FUZZ_CHECK(!face.points.empty());
      for (const int point : face.points) {
        FUZZ_CHECK(point >= 0 && static_cast<size_t>(point) < object.vertices.size());
        used = static_cast<size_t>(point) + 1 > used ? static_cast<size_t>(point) + 1 : used;
      }
    }
    // Each object holds exactly the vertices its faces use.
    FUZZ_CHECK(used == object.vertices.size());
  }
  return 0;
}
