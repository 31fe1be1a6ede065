#include "RecordingCanvas.h"

#include <algorithm>
#include <cstdio>

namespace velmora::headless {

namespace {

std::string Num(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
    return buf;
}

std::string Rect(const RectF& r) {
    return Num(r.left) + "," + Num(r.top) + "," + Num(r.right) + "," + Num(r.bottom);
}

std::string Hex(Color c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%08X", static_cast<unsigned>(c));
    return buf;
}

RectF Intersect(const RectF& a, const RectF& b) {
    RectF r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

// Number of code points; continuation bytes don't count.
std::size_t CodePoints(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

float FontFactor(const FontSpec& font) { return font.size > 0 ? font.size / 12.0f : 1.0f; }

}  // namespace

std::string CanvasOp::ToString() const {
    switch (kind) {
    case Kind::Save: return "Save";
    case Kind::Restore: return "Restore";
    case Kind::Translate: return "Translate(" + Num(rect.left) + "," + Num(rect.top) + ")";
    case Kind::Clip: return "Clip(" + Rect(rect) + ")";
    case Kind::FillRect: return "FillRect(" + Rect(rect) + " " + Hex(color) + ")";
    case Kind::StrokeRect: return "StrokeRect(" + Rect(rect) + " " + Hex(color) + " w" + Num(lineWidth) + ")";
    case Kind::Line: return "Line(" + Rect(rect) + " " + Hex(color) + " w" + Num(lineWidth) + ")";
    case Kind::Text: return "Text(" + Rect(rect) + " \"" + text + "\" flags=" + std::to_string(flags) + ")";
    }
    return "?";
}

RecordingCanvas::RecordingCanvas(float scale, SizeF size) : scale_(scale) {
    state_.clip = {0, 0, size.width, size.height};
}

CanvasOp RecordingCanvas::Make(CanvasOp::Kind kind, const RectF& local) const {
    CanvasOp op;
    op.kind = kind;
    op.rect = {local.left + state_.dx, local.top + state_.dy, local.right + state_.dx, local.bottom + state_.dy};
    op.clip = state_.clip;
    return op;
}

void RecordingCanvas::Save() {
    stack_.push_back(state_);
    ops_.push_back(Make(CanvasOp::Kind::Save, {}));
}

void RecordingCanvas::Restore() {
    if (!stack_.empty()) {
        state_ = stack_.back();
        stack_.pop_back();
    }
    ops_.push_back(Make(CanvasOp::Kind::Restore, {}));
}

void RecordingCanvas::Translate(float dx, float dy) {
    CanvasOp op = Make(CanvasOp::Kind::Translate, {});
    op.rect = {dx, dy, dx, dy};
    ops_.push_back(op);
    state_.dx += dx;
    state_.dy += dy;
}

void RecordingCanvas::ClipRect(const RectF& rect) {
    CanvasOp op = Make(CanvasOp::Kind::Clip, rect);
    state_.clip = Intersect(state_.clip, op.rect);
    op.clip = state_.clip;
    ops_.push_back(op);
}

void RecordingCanvas::FillRect(const RectF& rect, Color color, float cornerRadius) {
    CanvasOp op = Make(CanvasOp::Kind::FillRect, rect);
    op.color = color;
    op.cornerRadius = cornerRadius;
    ops_.push_back(op);
}

void RecordingCanvas::StrokeRect(const RectF& rect, Color color, float lineWidth, float cornerRadius) {
    CanvasOp op = Make(CanvasOp::Kind::StrokeRect, rect);
    op.color = color;
    op.lineWidth = lineWidth;
    op.cornerRadius = cornerRadius;
    ops_.push_back(op);
}

void RecordingCanvas::DrawLine(float x1, float y1, float x2, float y2, Color color, float lineWidth) {
    CanvasOp op = Make(CanvasOp::Kind::Line, {x1, y1, x2, y2});
    op.color = color;
    op.lineWidth = lineWidth;
    ops_.push_back(op);
}

void RecordingCanvas::DrawText(const RectF& rect, const std::string& text, const FontSpec& font, Color color,
                               unsigned flags) {
    CanvasOp op = Make(CanvasOp::Kind::Text, rect);
    op.text = text;
    op.font = font;
    op.color = color;
    op.flags = flags;
    ops_.push_back(op);
}

float RecordingCanvas::TextWidth(const std::string& text, const FontSpec& font) {
    return static_cast<float>(CodePoints(text)) * kCharAdvance * FontFactor(font);
}

std::vector<std::string> RecordingCanvas::WrapLines(const std::string& text, const FontSpec& font, float maxWidth,
                                                    unsigned flags) {
    std::vector<std::string> lines;
    if ((flags & platform::TextWordWrap) == 0 || maxWidth <= 0) {
        lines.push_back(text);
        return lines;
    }
    std::string line;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t space = text.find(' ', pos);
        std::string word = text.substr(pos, space == std::string::npos ? std::string::npos : space - pos);
        std::string candidate = line.empty() ? word : line + " " + word;
        if (!line.empty() && TextWidth(candidate, font) > maxWidth) {
            lines.push_back(line);
            line = word;
        } else {
            line = candidate;
        }
        if (space == std::string::npos) break;
        pos = space + 1;
    }
    lines.push_back(line);
    return lines;
}

SizeF RecordingCanvas::MeasureText(const std::string& text, const FontSpec& font, float maxWidth, unsigned flags) {
    SizeF size;
    auto lines = WrapLines(text, font, maxWidth, flags);
    for (const auto& l : lines) size.width = std::max(size.width, TextWidth(l, font));
    size.height = static_cast<float>(lines.size()) * kLineHeight * FontFactor(font);
    return size;
}

std::vector<std::string> RecordingCanvas::Log() const {
    std::vector<std::string> out;
    out.reserve(ops_.size());
    for (const auto& op : ops_) out.push_back(op.ToString());
    return out;
}

std::vector<std::string> RecordingCanvas::Texts() const {
    std::vector<std::string> out;
    for (const auto& op : ops_)
        if (op.kind == CanvasOp::Kind::Text) out.push_back(op.text);
    return out;
}

}  // namespace velmora::headless
