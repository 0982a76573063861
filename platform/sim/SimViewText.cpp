#include "platform/sim/SimViewText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tl::sim {

namespace {

constexpr int kMaxDepth = kMaxViewDepth;

void trimRight(std::string& s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
}

std::string format(const char* fmt, double v) {
  int n = std::snprintf(nullptr, 0, fmt, v);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), fmt, v);
  out.resize(static_cast<size_t>(n));
  return out;
}

std::string compact(double v) {
  if (std::isfinite(v) && std::fabs(v) < 1e15 && v == std::floor(v)) return format("%.0f", v);
  return format("%g", v);
}

std::string controlText(const SimNode& n) {
  switch (n.kind()) {
    case ViewKind::Switch: {
      int state = static_cast<const SimSwitch&>(n).state();
      return state == kControlStateValueOn ? "[开]" : state == kControlStateValueOff ? "[关]" : "[—]";
    }
    case ViewKind::Slider: {
      auto& s = static_cast<const SimSlider&>(n);
      return "[slider " + format("%.1f", s.doubleValue()) + " (" + compact(s.minValue()) + "–" +
             compact(s.maxValue()) + ")]";
    }
    case ViewKind::PopUp: {
      std::string shown = n.text();
      return shown.empty() ? "[pop-up: ▾]" : "[pop-up: " + shown + " ▾]";
    }
    case ViewKind::Button: return "[button " + n.text() + "]";
    default: return {};
  }
}

std::string join(const std::vector<std::string>& parts, const std::string& sep) {
  std::string out;
  for (const auto& p : parts) {
    if (p.empty()) continue;
    if (!out.empty()) out += sep;
    out += p;
  }
  return out;
}

std::vector<std::shared_ptr<SimNode>> topToBottom(const SimNode& n) {
  if (n.kind() == ViewKind::Stack) return inOrder(n);
  auto out = n.children();
  std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
    return a->frame().y != b->frame().y ? a->frame().y < b->frame().y : a->frame().x < b->frame().x;
  });
  return out;
}

std::string inlineText(const SimNode& n, int depth) {
  if (depth > kMaxDepth) return {};
  if (n.kind() == ViewKind::TextField) return join(static_cast<const SimTextField&>(n).lines(), " ");
  if (n.kind() != ViewKind::Plain && n.kind() != ViewKind::Stack && n.kind() != ViewKind::Custom) return controlText(n);
  std::vector<std::string> parts;
  for (const auto& c : topToBottom(n)) parts.push_back(inlineText(*c, depth + 1));
  if (n.kind() != ViewKind::Stack) return join(parts, " ");
  bool column = static_cast<const SimStackView&>(n).orientation() == Orientation::Vertical;
  return join(parts, column ? " — " : "  ");
}

void block(const SimNode& n, std::vector<std::string>& out, int depth) {
  if (depth > kMaxDepth) return;
  switch (n.kind()) {
    case ViewKind::TextField: {
      auto& t = static_cast<const SimTextField&>(n);
      std::string indent = t.font().weight == FontWeight::Regular ? "  " : "";
      for (const auto& line : t.lines()) out.push_back(indent + line);
      return;
    }
    case ViewKind::Stack:
      if (isRow(n)) {
        std::string line = inlineText(n, depth);
        if (!line.empty()) out.push_back("  " + line);
        return;
      }
      break;
    case ViewKind::Custom:
      if (static_cast<const SimCustomView&>(n).isDivider()) {
        double count = std::clamp(std::round(n.frame().width / 12), 1.0, 200.0);
        std::string rule = "  ";
        for (int i = 0; i < static_cast<int>(count); ++i) rule += "─";
        out.push_back(rule);
      }
      break;
    case ViewKind::Plain: break;
    default:
      out.push_back("  " + controlText(n));
      return;
  }
  for (const auto& c : topToBottom(n)) block(*c, out, depth + 1);
}

}  // namespace

std::string renderText(const SimWindow& window) {
  window.layout();
  std::vector<std::string> lines{"window: " + window.title()};
  if (auto root = window.contentNode()) block(*root, lines, 0);
  std::string out;
  for (auto& l : lines) {
    trimRight(l);
    out += l + "\n";
  }
  return out;
}

}  // namespace tl::sim
