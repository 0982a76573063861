#include "platform/sim/SimTextMetrics.h"

#include <hb.h>
#include <unicode/ubrk.h>
#include <unicode/uscript.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <stdexcept>
#include <tuple>

namespace tl::sim {

namespace {

constexpr double kEps = 1e-6;
const char* const kLanguage = "zh-Hans";

bool boldFace(const Font& font) { return font.weight == FontWeight::Semibold; }

// Where the families live on Debian, and the package that puts them there.
struct Family {
  const char* regular;
  const char* bold;
  long index;  // the face in a collection
  const char* name;
  const char* package;
};
// Noto Sans CJK SC, after the Japanese and Korean faces in its collections;
// DejaVu Sans for the few characters it lacks (⌃ ⌥ ▾ �), as the browser
// falls back to it.
const Family kPrimary{"/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc",
                      "/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc", 2, "Noto Sans CJK SC", "fonts-noto-cjk"};
const Family kFallback{"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                       "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", 0, "DejaVu Sans", "fonts-dejavu-core"};

// One face of a font file, read by HarfBuzz itself: the file is mapped
// once and its tables are parsed as shaping first needs them, so opening
// the four faces costs little more than mapping them.
struct Face {
  hb_face_t* face = nullptr;
  hb_font_t* font = nullptr;
  double unitsPerEm = 1000;
  bool has(UChar32 c) const {
    hb_codepoint_t glyph = 0;
    return hb_font_get_nominal_glyph(font, static_cast<hb_codepoint_t>(c), &glyph) && glyph != 0;
  }
};

std::string pathOf(const Family& family, bool bold) {
  // TUCKLINE_FONT_DIR stands in for every folder: a test's missing font.
  std::string path = bold ? family.bold : family.regular;
  const char* dir = std::getenv("TUCKLINE_FONT_DIR");
  if (dir && *dir) path = std::string(dir) + path.substr(path.rfind('/'));
  return path;
}

std::atomic<int> openedFaces{0};

bool open(const Family& family, bool bold, Face& face, std::string* error) {
  std::string path = pathOf(family, bold);
  ++openedFaces;
  hb_blob_t* blob = hb_blob_create_from_file_or_fail(path.c_str());
  if (blob && hb_face_count(blob) > static_cast<unsigned>(family.index)) {
    face.face = hb_face_create(blob, static_cast<unsigned>(family.index));
    // A file that is not a font gives a face without glyphs.
    if (hb_face_get_glyph_count(face.face) == 0 || hb_face_get_upem(face.face) == 0) {
      hb_face_destroy(face.face);
      face.face = nullptr;
    }
  }
  hb_blob_destroy(blob);
  if (!face.face) {
    if (error)
      *error = "cannot read the font " + path + " (" + family.name +
               ", which the simulated Mac draws its text with): install the Debian package " + family.package;
    return false;
  }
  face.font = hb_font_create(face.face);
  face.unitsPerEm = hb_face_get_upem(face.face);
  // Design units: widths scale with the size exactly, as a browser that
  // positions glyphs at fractions of a pixel lays them out.
  hb_font_set_scale(face.font, static_cast<int>(face.unitsPerEm), static_cast<int>(face.unitsPerEm));
  return true;
}

void close(Face& face) {
  if (face.font) hb_font_destroy(face.font);
  if (face.face) hb_face_destroy(face.face);
  face = {};
}

// A run shaped in one go: one script, one face. Common and Inherited
// characters (spaces, digits, punctuation) go with the script around them,
// as a browser itemises text; a character the first face lacks is drawn
// from the fallback face, as the browser falls back to it.
struct Run {
  size_t start, end;
  UScriptCode script;
  bool fallback;
};

}  // namespace

struct SimTextMetrics::Impl {
  Face faces[2][2];  // [bold][fallback]
  mutable std::mutex mu;  // FreeType faces load their tables lazily
  // Widths in em, which do not depend on the size.
  mutable std::map<std::tuple<bool, bool, std::string>, double> widths;

  ~Impl() {
    for (auto& weight : faces)
      for (auto& face : weight) close(face);
  }

  std::vector<Run> runs(const std::string& text, bool bold) const {
    std::vector<Run> out;
    auto length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
      int32_t at = i;
      UChar32 c;
      U8_NEXT(text.data(), i, length, c);
      UErrorCode status = U_ZERO_ERROR;
      UScriptCode script = c < 0 ? USCRIPT_COMMON : uscript_getScript(c, &status);
      bool neutral = U_FAILURE(status) || script == USCRIPT_COMMON || script == USCRIPT_INHERITED;
      bool fallback = c >= 0 && !faces[bold][0].has(c) && faces[bold][1].has(c);
      auto start = static_cast<size_t>(at), end = static_cast<size_t>(i);
      if (!out.empty() && out.back().fallback == fallback &&
          (neutral || out.back().script == script || out.back().script == USCRIPT_COMMON)) {
        out.back().end = end;
        if (!neutral) out.back().script = script;  // a neutral start takes the first real script
      } else {
        out.push_back({start, end, neutral ? USCRIPT_COMMON : script, fallback});
      }
    }
    return out;
  }

  double ems(const std::string& text, bool bold, bool tabular) const {
    std::lock_guard lock(mu);
    auto key = std::make_tuple(bold, tabular, text);
    if (auto it = widths.find(key); it != widths.end()) return it->second;
    hb_buffer_t* buffer = hb_buffer_create();
    hb_feature_t tnum{HB_TAG('t', 'n', 'u', 'm'), 1, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END};
    double total = 0;
    for (const Run& run : runs(text, bold)) {
      const Face& face = faces[bold][run.fallback];
      hb_buffer_clear_contents(buffer);
      hb_buffer_add_utf8(buffer, text.data(), static_cast<int>(text.size()), static_cast<unsigned>(run.start),
                         static_cast<int>(run.end - run.start));
      hb_buffer_set_direction(buffer, HB_DIRECTION_LTR);
      hb_buffer_set_script(buffer, hb_script_from_string(uscript_getShortName(run.script), -1));
      hb_buffer_set_language(buffer, hb_language_from_string(kLanguage, -1));
      hb_shape(face.font, buffer, tabular ? &tnum : nullptr, tabular ? 1 : 0);
      unsigned count = 0;
      hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, &count);
      double units = 0;
      for (unsigned i = 0; i < count; ++i) units += positions[i].x_advance;
      total += units / face.unitsPerEm;
    }
    hb_buffer_destroy(buffer);
    if (widths.size() > 20000) widths.clear();  // a bound for hostile input, not a working limit
    widths.emplace(std::move(key), total);
    return total;
  }

  // Every face, or why one cannot be read.
  std::string load() {
    std::string error;
    for (bool bold : {false, true})
      for (bool fallback : {false, true})
        if (!open(fallback ? kFallback : kPrimary, bold, faces[bold][fallback], &error)) return error;
    return {};
  }
};

std::string SimTextMetrics::loadError() {
  // The check is the loading itself: the faces it opens are the ones the
  // process then measures with, so no font file is opened or mapped twice.
  try {
    shared();
    return {};
  } catch (const std::runtime_error& error) {
    return error.what();
  }
}

int SimTextMetrics::facesOpened() { return openedFaces.load(); }

SimTextMetrics::SimTextMetrics() : impl_(std::make_unique<Impl>()) {
  if (std::string error = impl_->load(); !error.empty()) throw std::runtime_error(error);
}

SimTextMetrics::~SimTextMetrics() = default;

const SimTextMetrics& SimTextMetrics::shared() {
  // A failed load throws out of the initialisation, so the next call tries
  // again (a font installed meanwhile is found).
  static const SimTextMetrics metrics;
  return metrics;
}

double fontSize(const Font& font) {
  return std::isfinite(font.size) && font.size > 0 ? std::min(font.size, 1000.0) : 13;
}

std::string validUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  int32_t length = static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX));
  for (int32_t i = 0; i < length;) {
    int32_t at = i;
    UChar32 c;
    U8_NEXT(text.data(), i, length, c);
    if (c < 0) {
      out += "\xEF\xBF\xBD";
      i = at + 1;  // one replacement per bad byte
    } else {
      out.append(text.data() + at, static_cast<size_t>(i - at));
    }
  }
  return out;
}

double SimTextMetrics::width(std::string_view text, const Font& font) const {
  if (text.empty()) return 0;
  return impl_->ems(validUtf8(text), boldFace(font), font.monospacedDigits) * fontSize(font);
}

double SimTextMetrics::lineHeight(const Font& font) const { return std::round(fontSize(font) * 1.25); }

namespace {
void trimRight(std::string& s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
}

// Offsets where a line may be broken, by ICU's line breaker with the
// Chinese rules; the end of the text is the last.
std::vector<size_t> breakOpportunities(const std::string& text) {
  std::vector<size_t> out;
  UErrorCode status = U_ZERO_ERROR;
  UText* ut = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
  UBreakIterator* it = ubrk_open(UBRK_LINE, "zh", nullptr, 0, &status);
  if (U_SUCCESS(status)) ubrk_setUText(it, ut, &status);
  if (U_SUCCESS(status)) {
    ubrk_first(it);
    for (int32_t b = ubrk_next(it); b != UBRK_DONE; b = ubrk_next(it)) out.push_back(static_cast<size_t>(b));
  }
  if (it) ubrk_close(it);
  if (ut) utext_close(ut);
  if (out.empty() || out.back() != text.size()) out.push_back(text.size());
  return out;
}

size_t nextCharacter(const std::string& text, size_t at) {
  int32_t i = static_cast<int32_t>(at);
  UChar32 c;
  U8_NEXT(text.data(), i, static_cast<int32_t>(text.size()), c);
  (void)c;
  return static_cast<size_t>(i);
}
}  // namespace

std::vector<std::string> SimTextMetrics::wrap(std::string_view raw, const Font& font, double maxWidth) const {
  std::string text = validUtf8(raw);
  std::vector<std::string> out;
  auto fits = [&](const std::string& s) {
    std::string trimmed = s;
    trimRight(trimmed);
    return width(trimmed, font) <= maxWidth + kEps;
  };
  size_t start = 0;
  for (;;) {
    size_t newline = text.find('\n', start);
    std::string para = text.substr(start, newline == std::string::npos ? std::string::npos : newline - start);
    std::string line;
    size_t from = 0;
    for (size_t to : breakOpportunities(para)) {
      std::string piece = para.substr(from, to - from);
      from = to;
      if (fits(line + piece)) {
        line += piece;
        continue;
      }
      if (!line.empty()) {
        trimRight(line);
        out.push_back(line);
        line.clear();
      }
      // A piece wider than a whole line is cut between characters.
      for (size_t i = 0; i < piece.size();) {
        size_t next = nextCharacter(piece, i);
        std::string ch = piece.substr(i, next - i);
        i = next;
        if (!line.empty() && !fits(line + ch)) {
          trimRight(line);
          out.push_back(line);
          line.clear();
        }
        if (line.empty() && ch == " " && !out.empty()) continue;  // a soft break swallows its spaces
        line += ch;
      }
    }
    trimRight(line);
    out.push_back(line);
    if (newline == std::string::npos) return out;
    start = newline + 1;
  }
}

std::string SimTextMetrics::fit(std::string_view raw, const Font& font, double maxWidth, bool ellipsis) const {
  std::string text = validUtf8(raw);
  if (width(text, font) <= maxWidth + kEps) return text;
  const std::string mark = ellipsis ? "…" : "";
  // Widths grow with the text: the longest prefix that fits is found by
  // halving, between characters.
  std::vector<size_t> ends;
  for (size_t i = 0; i < text.size();) ends.push_back(i = nextCharacter(text, i));
  auto fits = [&](size_t n) {
    std::string s = text.substr(0, n);
    trimRight(s);
    return width(s + mark, font) <= maxWidth + kEps;
  };
  size_t lo = 0, hi = ends.size();  // ends[0..lo) fit
  while (lo < hi) {
    size_t mid = (lo + hi + 1) / 2;
    if (fits(ends[mid - 1])) lo = mid;
    else hi = mid - 1;
  }
  std::string kept = text.substr(0, lo ? ends[lo - 1] : 0);
  trimRight(kept);
  return kept + mark;
}

}  // namespace tl::sim
