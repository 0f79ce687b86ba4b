#include "obj_import.h"

#include <tiny_obj_loader.h>

#include <cstdio>
#include <exception>
#include <limits>
#include <new>
#include <string_view>
#include <utility>

namespace host {
namespace {

// Why the text is read twice and tinyobjloader sees only number lines:
// tinyobjloader drops faces of fewer than three points, stores point counts
// in a byte (a face of 256 points or more comes back wrong), cannot tell an
// `o` record from a `g` record, splits shapes at every `g`, reads words that
// are not numbers as 0 without a word, converts indices with atoi (undefined
// on overflow) and reports most errors without a line. So the structure,
// the indices and all validation are ours, with line numbers, and
// tinyobjloader gets a clean text of only the `v` and `vt` records we have
// validated, one number word per coordinate, to convert into floats.

enum class Record { kOther, kVertex, kTexcoord, kNormal, kFace, kObject, kGroup };

Record Classify(std::string_view keyword) {
  if (keyword == "v") return Record::kVertex;
  if (keyword == "vt") return Record::kTexcoord;
  if (keyword == "vn") return Record::kNormal;
  if (keyword == "f") return Record::kFace;
  if (keyword == "o") return Record::kObject;
  if (keyword == "g") return Record::kGroup;
  return Record::kOther;
}

// Walks the text line by line; a line ends at LF, CR LF or a lone CR.
class LineCursor {
 public:
  explicit LineCursor(const std::string& text) : text_(text) {
    if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;
  }

  bool Next(std::string_view* line) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find_first_of("\r\n", pos_);
    if (end == std::string::npos) end = text_.size();
    *line = std::string_view(text_).substr(pos_, end - pos_);
    pos_ = end;
    if (pos_ < text_.size()) {
      pos_ += (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') ? 2 : 1;
    }
    ++number_;
    return true;
  }

  size_t number() const { return number_; }

 private:
  const std::string& text_;
  size_t pos_ = 0;
  size_t number_ = 0;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Splits a line into words at spaces and tabs, up to a word that starts with
// '#', which begins a comment. The words point into the line.
void SplitWords(std::string_view line, std::vector<std::string_view>* words) {
  words->clear();
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size() || line[i] == '#') break;
    size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    words->push_back(line.substr(start, i - start));
  }
}

// A word as it can safely appear in a one-line message: bytes outside
// printable ASCII become '?', and a long word is cut.
std::string Quote(std::string_view word) {
  constexpr size_t kMaxShown = 40;
  std::string shown;
  for (size_t i = 0; i < word.size() && i < kMaxShown; ++i) {
    unsigned char c = static_cast<unsigned char>(word[i]);
    shown += (c > 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  }
  if (word.size() > kMaxShown) shown += "...";
  return shown;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsLower(std::string_view word, std::string_view lower) {
  if (word.size() != lower.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (Lower(word[i]) != lower[i]) return false;
  }
  return true;
}

// "inf", "infinity", "nan" or "nan(chars)" in any case, optionally signed,
// as C libraries print them.
bool ParseNonFinite(std::string_view word, float* value) {
  bool negative = false;
  if (!word.empty() && (word[0] == '+' || word[0] == '-')) {
    negative = word[0] == '-';
    word.remove_prefix(1);
  }
  float magnitude;
  if (EqualsLower(word, "inf") || EqualsLower(word, "infinity")) {
    magnitude = std::numeric_limits<float>::infinity();
  } else if (word.size() >= 3 && EqualsLower(word.substr(0, 3), "nan")) {
    std::string_view rest = word.substr(3);
    if (!rest.empty()) {
      if (rest.size() < 2 || rest.front() != '(' || rest.back() != ')') return false;
      for (char c : rest.substr(1, rest.size() - 2)) {
        const bool alphanumeric = IsDigit(c) || (Lower(c) >= 'a' && Lower(c) <= 'z');
        if (!alphanumeric && c != '_') return false;
      }
    }
    magnitude = std::numeric_limits<float>::quiet_NaN();
  } else {
    return false;
  }
  *value = negative ? -magnitude : magnitude;
  return true;
}

// Checks that a word is a decimal number in the form tinyobjloader reads
// completely: [sign] (digits [. [digits]] | . digits) [(e|E) [sign] digits].
// Words it would misread are rewritten with the same value: a zero mantissa
// becomes a plain signed zero (its power-of-5 scaling overflows to inf for
// large exponents and 0 * inf is NaN), and an exponent beyond 4 digits is
// clamped to 9999 (an int overflow there makes it give up), which still
// means inf or 0 for any mantissa of sensible length.
bool PrepareDecimal(std::string_view word, std::string* forParser) {
  size_t i = 0;
  bool negative = false;
  if (i < word.size() && (word[i] == '+' || word[i] == '-')) {
    negative = word[i] == '-';
    ++i;
  }
  size_t mantissaDigits = 0;
  bool mantissaZero = true;
  while (i < word.size() && IsDigit(word[i])) {
    mantissaZero = mantissaZero && word[i] == '0';
    ++mantissaDigits;
    ++i;
  }
  if (i < word.size() && word[i] == '.') {
    ++i;
    while (i < word.size() && IsDigit(word[i])) {
      mantissaZero = mantissaZero && word[i] == '0';
      ++mantissaDigits;
      ++i;
    }
  }
  if (mantissaDigits == 0) return false;
  const size_t mantissaEnd = i;
  std::string_view exponentDigits;
  char exponentSign = '+';
  if (i < word.size() && (word[i] == 'e' || word[i] == 'E')) {
    ++i;
    if (i < word.size() && (word[i] == '+' || word[i] == '-')) exponentSign = word[i++];
    const size_t start = i;
    while (i < word.size() && IsDigit(word[i])) ++i;
    exponentDigits = word.substr(start, i - start);
    if (exponentDigits.empty()) return false;
  }
  if (i != word.size()) return false;

  if (mantissaZero) {
    *forParser += negative ? "-0" : "0";
    return true;
  }
  while (exponentDigits.size() > 1 && exponentDigits.front() == '0') exponentDigits.remove_prefix(1);
  if (exponentDigits.size() > 4) {
    forParser->append(word.substr(0, mantissaEnd));
    *forParser += 'e';
    *forParser += exponentSign;
    *forParser += "9999";
    return true;
  }
  forParser->append(word);
  return true;
}

// One face corner, with indices resolved to 0-based positions in the file's
// vertex and texture-coordinate lists.
struct Corner {
  int vertex;
  int texcoord;  // -1 for a corner without one
};

// An `o` or `g` record and the first face after it.
struct GroupRecord {
  bool isObject;
  std::string name;
  size_t firstFace;
};

// A non-finite number, handed to tinyobjloader as 0 and put in afterwards.
struct Patch {
  size_t index;  // into the flat coordinate array
  float value;
};

struct Counts {
  size_t vertices = 0;
  size_t texcoords = 0;
  size_t normals = 0;
};

class Importer {
 public:
  Importer(const std::string& text, const std::string& name) : text_(text), name_(name) {}

  bool Run(double scale, Document& out) {
    if (!CountRecords()) return false;
    if (!ReadRecords()) return false;
    if (!ConvertNumbers()) return false;
    BuildObjects(scale, out);
    return true;
  }

  const std::string& error() const { return error_; }

 private:
  bool Fail(const std::string& message) {
    error_ = name_ + ":" + std::to_string(lineNumber_) + ": " + message;
    return false;
  }

  // Positive indices may point below the face, so the totals come first.
  bool CountRecords() {
    LineCursor lines(text_);
    std::string_view line;
    while (lines.Next(&line)) {
      SplitWords(line, &words_);
      if (words_.empty()) continue;
      switch (Classify(words_[0])) {
        case Record::kVertex: ++total_.vertices; break;
        case Record::kTexcoord: ++total_.texcoords; break;
        case Record::kNormal: ++total_.normals; break;
        default: break;
      }
    }
    constexpr size_t kMaxIndex = static_cast<size_t>(std::numeric_limits<int>::max());
    if (total_.vertices > kMaxIndex || total_.texcoords > kMaxIndex) {
      error_ = name_ + ": the file has more vertices than a host object can hold";
      return false;
    }
    return true;
  }

  bool ReadRecords() {
    LineCursor lines(text_);
    std::string_view line;
    while (lines.Next(&line)) {
      lineNumber_ = lines.number();
      SplitWords(line, &words_);
      if (words_.empty()) continue;
      switch (Classify(words_[0])) {
        case Record::kVertex:
          if (!ReadCoordinates("v", 3, 3, seen_.vertices * 3, "vertex needs 3 coordinates",
                               &positionPatches_)) {
            return false;
          }
          ++seen_.vertices;
          break;
        case Record::kTexcoord:
          if (!ReadCoordinates("vt", 1, 2, seen_.texcoords * 2,
                               "texture coordinate needs at least 1 value", &texcoordPatches_)) {
            return false;
          }
          ++seen_.texcoords;
          break;
        case Record::kNormal:
          if (!ReadCoordinates(nullptr, 3, 0, 0, "normal needs 3 coordinates", nullptr)) return false;
          ++seen_.normals;
          break;
        case Record::kFace:
          if (!ReadFace()) return false;
          break;
        case Record::kObject:
        case Record::kGroup:
          groups_.push_back({Classify(words_[0]) == Record::kObject, RestOfLine(),
                             faceStarts_.size()});
          break;
        case Record::kOther:
          break;
      }
    }
    return true;
  }

  // The text after the keyword, as written, without the blanks around it.
  std::string RestOfLine() const {
    if (words_.size() < 2) return std::string();
    const char* begin = words_[1].data();
    const char* end = words_.back().data() + words_.back().size();
    return std::string(begin, static_cast<size_t>(end - begin));
  }

  // Checks every word after the keyword is a number and there are at least
  // `minimum`. When `keyword` is not null, the first `kept` numbers (missing
  // ones as 0) go to the text for tinyobjloader; `first` is where the first
  // of them lands in its flat coordinate array.
  bool ReadCoordinates(const char* keyword, size_t minimum, size_t kept, size_t first,
                       const char* tooFew, std::vector<Patch>* patches) {
    std::string numbers;
    for (size_t i = 1; i < words_.size(); ++i) {
      float nonFinite;
      std::string forParser;
      if (ParseNonFinite(words_[i], &nonFinite)) {
        forParser = "0";
        if (keyword && i <= kept) patches->push_back({first + i - 1, nonFinite});
      } else if (!PrepareDecimal(words_[i], &forParser)) {
        return Fail("'" + Quote(words_[i]) + "' is not a number");
      }
      if (i <= kept) numbers += " " + forParser;
    }
    if (words_.size() - 1 < minimum) return Fail(tooFew);
    if (keyword) {
      for (size_t i = words_.size() - 1; i < kept; ++i) numbers += " 0";
      numberText_ += keyword;
      numberText_ += numbers;
      numberText_ += '\n';
    }
    return true;
  }

  // An index part of a corner: [sign] digits. Values beyond any list size
  // saturate, which keeps them out of range without overflow.
  static bool ParseIndex(std::string_view part, long long* value) {
    constexpr long long kSaturated = 1LL << 40;
    size_t i = 0;
    bool negative = false;
    if (i < part.size() && (part[i] == '+' || part[i] == '-')) {
      negative = part[i] == '-';
      ++i;
    }
    if (i == part.size()) return false;
    long long magnitude = 0;
    for (; i < part.size(); ++i) {
      if (!IsDigit(part[i])) return false;
      magnitude = magnitude * 10 + (part[i] - '0');
      if (magnitude > kSaturated) magnitude = kSaturated;
    }
    *value = negative ? -magnitude : magnitude;
    return true;
  }

  // Resolves a 1-based or relative index against a list of `total` elements
  // of which `before` lie above this line.
  bool Resolve(const char* what, std::string_view part, size_t total, size_t before, int* index) {
    long long value = 0;
    ParseIndex(part, &value);
    if (value == 0) return Fail(std::string("face refers to ") + what + " 0; indices start at 1");
    if (value > 0) {
      if (static_cast<unsigned long long>(value) > total) {
        return Fail(std::string("face refers to ") + what + " " + Quote(part) + ", the file has " +
                    std::to_string(total));
      }
      *index = static_cast<int>(value - 1);
    } else {
      if (static_cast<unsigned long long>(-value) > before) {
        return Fail(std::string("face refers to ") + what + " " + Quote(part) + ", the file has " +
                    std::to_string(before) + " before this line");
      }
      *index = static_cast<int>(static_cast<long long>(before) + value);
    }
    return true;
  }

  // Corners are v, v/vt, v//vn or v/vt/vn.
  bool ReadFace() {
    if (words_.size() < 2) return Fail("face refers to no vertex");
    faceStarts_.push_back(corners_.size());
    for (size_t i = 1; i < words_.size(); ++i) {
      std::string_view word = words_[i];
      std::string_view parts[3];
      size_t partCount = 0;
      size_t start = 0;
      bool tooMany = false;
      for (size_t k = 0; k <= word.size(); ++k) {
        if (k == word.size() || word[k] == '/') {
          if (partCount == 3) {
            tooMany = true;
            break;
          }
          parts[partCount++] = word.substr(start, k - start);
          start = k + 1;
        }
      }
      long long unused;
      const bool wellFormed =
          !tooMany && ParseIndex(parts[0], &unused) &&
          (partCount < 2 || (partCount == 3 && parts[1].empty()) || ParseIndex(parts[1], &unused)) &&
          (partCount < 3 || ParseIndex(parts[2], &unused));
      if (!wellFormed) return Fail("'" + Quote(word) + "' is not a face corner");

      Corner corner{0, -1};
      if (!Resolve("vertex", parts[0], total_.vertices, seen_.vertices, &corner.vertex)) return false;
      if (partCount >= 2 && !parts[1].empty() &&
          !Resolve("texture coordinate", parts[1], total_.texcoords, seen_.texcoords,
                   &corner.texcoord)) {
        return false;
      }
      int normal;
      if (partCount == 3 &&
          !Resolve("normal", parts[2], total_.normals, seen_.normals, &normal)) {
        return false;
      }
      corners_.push_back(corner);
    }
    return true;
  }

  bool ConvertNumbers() {
    tinyobj::ObjReaderConfig config;
    config.triangulate = false;
    config.vertex_color = false;
    tinyobj::ObjReader reader;
    const bool parsed = reader.ParseFromString(numberText_, std::string(), config);
    numberText_.clear();
    numberText_.shrink_to_fit();
    if (parsed) {
      positions_ = reader.GetAttrib().vertices;
      texcoords_ = reader.GetAttrib().texcoords;
    }
    // Only validated number lines went in, so a failure or a count that does
    // not match ours would be a fault of this importer, not of the file.
    if (!parsed || positions_.size() != total_.vertices * 3 ||
        texcoords_.size() != total_.texcoords * 2) {
      error_ = name_ + ": internal error: the OBJ number reader disagrees with the line scan";
      return false;
    }
    for (const Patch& patch : positionPatches_) positions_[patch.index] = patch.value;
    for (const Patch& patch : texcoordPatches_) texcoords_[patch.index] = patch.value;
    return true;
  }

  void BuildObjects(double scale, Document& out) {
    bool anyObjectRecord = false;
    for (const GroupRecord& group : groups_) anyObjectRecord = anyObjectRecord || group.isObject;
    std::vector<GroupRecord> starts;
    for (GroupRecord& group : groups_) {
      if (group.isObject == anyObjectRecord) starts.push_back(std::move(group));
    }
    const size_t leadingFaces = starts.empty() ? faceStarts_.size() : starts.front().firstFace;
    if (leadingFaces > 0) starts.insert(starts.begin(), GroupRecord{true, "default", 0});

    std::vector<int> localIndex(total_.vertices, -1);
    std::vector<std::unique_ptr<Object>> objects;
    for (size_t g = 0; g < starts.size(); ++g) {
      auto object = std::make_unique<Object>();
      object->name = starts[g].name;
      const size_t faceEnd = g + 1 < starts.size() ? starts[g + 1].firstFace : faceStarts_.size();
      for (size_t f = starts[g].firstFace; f < faceEnd; ++f) {
        const size_t begin = faceStarts_[f];
        const size_t end = f + 1 < faceStarts_.size() ? faceStarts_[f + 1] : corners_.size();
        const size_t n = end - begin;
        Face face;
        face.points.resize(n);
        face.uvs.resize(n);
        for (size_t k = 0; k < n; ++k) {
          const Corner& corner = corners_[begin + k];
          int& local = localIndex[static_cast<size_t>(corner.vertex)];
          if (local < 0) {
            local = static_cast<int>(object->vertices.size());
            object->vertices.push_back(Position(corner.vertex, scale));
          }
          // Counter-clockwise OBJ corners, clockwise host corners.
          const size_t hostCorner = k == 0 ? 0 : n - k;
          face.points[hostCorner] = local;
          face.uvs[hostCorner] = Uv(corner.texcoord);
        }
        object->faces.push_back(std::move(face));
      }
      // Later objects number their vertices afresh.
      for (size_t f = starts[g].firstFace; f < faceEnd; ++f) {
        const size_t begin = faceStarts_[f];
        const size_t end = f + 1 < faceStarts_.size() ? faceStarts_[f + 1] : corners_.size();
        for (size_t k = begin; k < end; ++k) localIndex[static_cast<size_t>(corners_[k].vertex)] = -1;
      }
      objects.push_back(std::move(object));
    }
    for (auto& object : objects) out.objects.push_back(std::move(object));
  }

  Vec3 Position(int vertex, double scale) const {
    const float* p = &positions_[static_cast<size_t>(vertex) * 3];
    if (scale == 1.0) return Vec3{p[0], p[1], p[2]};
    // Each scaled coordinate is a stored value: rounded to float once.
    return Vec3{RoundToFloat(double(p[0]) * scale), RoundToFloat(double(p[1]) * scale),
                RoundToFloat(double(p[2]) * scale)};
  }

  Vec2 Uv(int texcoord) const {
    if (texcoord < 0) return Vec2{0.0f, 0.0f};
    const float* t = &texcoords_[static_cast<size_t>(texcoord) * 2];
    // 1 - v of two floats is exact in double, so this is the float
    // subtraction 1.0f - v.
    return Vec2{t[0], RoundToFloat(1.0 - double(t[1]))};
  }

  const std::string& text_;
  const std::string& name_;
  std::string error_;
  size_t lineNumber_ = 0;
  std::vector<std::string_view> words_;
  Counts total_;
  Counts seen_;
  std::string numberText_;
  std::vector<Patch> positionPatches_;
  std::vector<Patch> texcoordPatches_;
  std::vector<Corner> corners_;
  std::vector<size_t> faceStarts_;  // first corner of every face
  std::vector<GroupRecord> groups_;
  std::vector<float> positions_;
  std::vector<float> texcoords_;
};

bool ValidScale(double scale) { return scale > 0.0 && scale <= std::numeric_limits<double>::max(); }

bool Import(const std::string& text, const std::string& name, double scale, Document& out,
            std::string* error) {
  std::string message;
  try {
    Importer importer(text, name);
    if (importer.Run(scale, out)) return true;
    message = importer.error();
  } catch (const std::bad_alloc&) {
    message = name + ": not enough memory to import the file";
  } catch (const std::exception& e) {
    message = name + ": cannot import the file: " + e.what();
  }
  if (error) *error = message;
  return false;
}

bool ScaleError(const std::string& name, std::string* error) {
  if (error) *error = name + ": the scale factor must be a finite number greater than 0";
  return false;
}

}  // namespace

bool ImportObjFromString(const std::string& text, const std::string& nameForMessages,
                         double scale, Document& out, std::string* error) {
  if (!ValidScale(scale)) return ScaleError(nameForMessages, error);
  return Import(text, nameForMessages, scale, out, error);
}

bool ImportObj(const std::string& path, double scale, Document& out, std::string* error) {
  if (!ValidScale(scale)) return ScaleError(path, error);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    if (error) *error = path + ": cannot open the file";
    return false;
  }
  std::string text;
  bool readFailed = false;
  try {
    char buffer[1 << 16];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    readFailed = std::ferror(file) != 0;
  } catch (const std::bad_alloc&) {
    std::fclose(file);
    if (error) *error = path + ": not enough memory to read the file";
    return false;
  }
  std::fclose(file);
  if (readFailed) {
    if (error) *error = path + ": cannot read the file";
    return false;
  }
  return Import(text, path, scale, out, error);
}

std::vector<std::string> ObjectNames(const Document& document) {
  std::vector<std::string> names;
  names.reserve(document.objects.size());
  for (const auto& object : document.objects) names.push_back(object ? object->name : std::string());
  return names;
}

}  // namespace host
