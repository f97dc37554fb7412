#pragma once

// Small value types of the graphics layer: rectangles in unscaled editor
// pixels, colours, blending, fill and stroke descriptions, 2-D transforms,
// pointer samples, text styles and menu models.

#include "plug/PlugStructs.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace gfx {

/** A rectangle in unscaled editor pixels. All four coordinates 0 means empty. */
struct IArea
{
  float L = 0.f;
  float T = 0.f;
  float R = 0.f;
  float B = 0.f;

  IArea() = default;
  IArea(float l, float t, float r, float b) : L(l), T(t), R(r), B(b) {}

  float W() const { return R - L; }
  float H() const { return B - T; }
  float MW() const { return 0.5f * (L + R); }
  float MH() const { return 0.5f * (T + B); }
  float Area() const { return W() * H(); }
  bool Empty() const { return L == 0.f && T == 0.f && R == 0.f && B == 0.f; }

  /** Left and top edges inside, right and bottom outside. */
  bool Contains(float x, float y) const { return x >= L && x < R && y >= T && y < B; }
  /** Edges included. */
  bool Contains(const IArea& r) const { return r.L >= L && r.R <= R && r.T >= T && r.B <= B; }
  bool Intersects(const IArea& r) const { return r.L <= R && r.R > L && r.T <= B && r.B > T; }

  IArea Union(const IArea& r) const
  {
    if (Empty())
      return r;
    if (r.Empty())
      return *this;
    return {std::min(L, r.L), std::min(T, r.T), std::max(R, r.R), std::max(B, r.B)};
  }
  IArea Intersect(const IArea& r) const
  {
    return {std::max(L, r.L), std::max(T, r.T), std::min(R, r.R), std::min(B, r.B)};
  }
  IArea GetPadded(float pad) const { return {L - pad, T - pad, R + pad, B + pad}; }
  IArea GetTranslated(float dx, float dy) const { return {L + dx, T + dy, R + dx, B + dy}; }
  IArea GetCentredInside(float w, float h) const
  {
    return {MW() - 0.5f * w, MH() - 0.5f * h, MW() + 0.5f * w, MH() + 0.5f * h};
  }
  /** Grown outwards to whole device pixels at the scale (device pixels per unscaled pixel). */
  IArea GetPixelAligned(float scale) const
  {
    return {std::floor(L * scale) / scale, std::floor(T * scale) / scale, std::ceil(R * scale) / scale,
            std::ceil(B * scale) / scale};
  }

  bool operator==(const IArea& r) const { return L == r.L && T == r.T && R == r.R && B == r.B; }
  bool operator!=(const IArea& r) const { return !(*this == r); }
};

using IAreaList = std::vector<IArea>;

/** A colour: alpha, red, green, blue, 0..255 each. */
struct IRgba
{
  int A = 255;
  int R = 0;
  int G = 0;
  int B = 0;

  IRgba() = default;
  IRgba(int a, int r, int g, int b) : A(a), R(r), G(g), B(b) {}
  bool operator==(const IRgba& c) const { return A == c.A && R == c.R && G == c.G && B == c.B; }
  bool operator!=(const IRgba& c) const { return !(*this == c); }
};

const IRgba kColourBlack{255, 0, 0, 0};
const IRgba kColourWhite{255, 255, 255, 255};
const IRgba kColourRed{255, 255, 0, 0};
const IRgba kColourTransparent{0, 0, 0, 0};

enum class EBlend
{
  SrcOver = 0,
  SrcIn,
  SrcOut,
  SrcAtop,
  DstOver,
  DstIn,
  DstOut,
  DstAtop,
  Add,
  XOR
};

/** Blend method and weight (0..1, multiplies the alpha of everything drawn). */
struct IBlendMode
{
  EBlend method = EBlend::SrcOver;
  float weight = 1.f;

  IBlendMode() = default;
  IBlendMode(EBlend m, float w) : method(m), weight(w) {}
};

/** Weight of a blend that may be absent (no blend draws at full weight). */
inline float BlendWeight(const IBlendMode* blend)
{
  return blend ? std::clamp(blend->weight, 0.f, 1.f) : 1.f;
}

/** 2x3 affine matrix: a point maps to (xx*x + xy*y + tx, yx*x + yy*y + ty). */
struct ITransform2D
{
  double xx = 1.0, yx = 0.0, xy = 0.0, yy = 1.0, tx = 0.0, ty = 0.0;

  ITransform2D() = default;
  ITransform2D(double xx_, double yx_, double xy_, double yy_, double tx_, double ty_)
    : xx(xx_), yx(yx_), xy(xy_), yy(yy_), tx(tx_), ty(ty_)
  {
  }

  void TransformPoint(double& x, double& y) const
  {
    const double nx = xx * x + xy * y + tx;
    y = yx * x + yy * y + ty;
    x = nx;
  }
  bool operator==(const ITransform2D& m) const
  {
    return xx == m.xx && yx == m.yx && xy == m.xy && yy == m.yy && tx == m.tx && ty == m.ty;
  }
};

enum class EPatternType
{
  Solid = 0,
  Linear,
  Radial
};

enum class EPatternExtend
{
  None = 0,
  Pad,
  Reflect,
  Repeat
};

struct IColourStop
{
  IRgba colour;
  float offset = 0.f;
};

/** What a path is filled or stroked with: a colour or a gradient of up to 16 stops. */
struct IFillPattern
{
  static constexpr int kMaxStops = 16;

  EPatternType type = EPatternType::Solid;
  EPatternExtend extend = EPatternExtend::Pad;
  std::vector<IColourStop> stops;
  ITransform2D transform;

  IFillPattern() = default;
  /** A solid colour. */
  IFillPattern(const IRgba& colour) : stops{{colour, 0.f}} {}
  void AddStop(const IRgba& colour, float offset)
  {
    if (static_cast<int>(stops.size()) < kMaxStops)
      stops.push_back({colour, offset});
  }
};

enum class EFillRule
{
  Winding = 0,
  EvenOdd
};

enum class ELineCap
{
  Butt = 0,
  Round,
  Square
};

enum class ELineJoin
{
  Miter = 0,
  Round,
  Bevel
};

struct IFillStyle
{
  EFillRule rule = EFillRule::Winding;
  /** Keep the path after filling (for a stroke that follows). */
  bool preserve = false;
};

struct IStrokeStyle
{
  ELineCap cap = ELineCap::Butt;
  ELineJoin join = ELineJoin::Miter;
  float miterLimit = 10.f;
  std::vector<float> dashes;
  float dashOffset = 0.f;
  bool preserve = false;
};

/** Buttons, modifier keys and touch data of one pointer sample. */
struct IMouseMods
{
  bool L = false;
  bool R = false;
  bool S = false; // shift
  bool C = false; // control
  bool A = false; // alt
  int64_t touchID = 0; // 0 for the mouse
  float touchRadius = 0.f;

  IMouseMods() = default;
  IMouseMods(bool l, bool r, bool s = false, bool c = false, bool a = false, int64_t touch = 0)
    : L(l), R(r), S(s), C(c), A(a), touchID(touch)
  {
  }
  bool IsTouch() const { return touchID != 0; }
};

/** One pointer sample in unscaled pixels, with the movement since the last one. */
struct IMouseState
{
  float x = 0.f;
  float y = 0.f;
  float dX = 0.f;
  float dY = 0.f;
  IMouseMods ms;

  IMouseState() = default;
  IMouseState(float x_, float y_, const IMouseMods& mods, float dx = 0.f, float dy = 0.f)
    : x(x_), y(y_), dX(dx), dY(dy), ms(mods)
  {
  }
};

using IKeyEvent = plug::IKeyEvent;

enum class EAlign
{
  Near = 0,
  Centre,
  Far
};

enum class EVAlign
{
  Top = 0,
  Middle,
  Bottom
};

/** How a control prints text. The default is Roboto-Regular 14, black, centred both ways. */
struct ITextStyle
{
  static constexpr int kFontIdSize = 64;

  char font[kFontIdSize] = "Roboto-Regular";
  float size = 14.f;
  IRgba colour = kColourBlack;
  IRgba entryBackground = kColourWhite;
  IRgba entryText = kColourBlack;
  float angle = 0.f; // degrees
  EAlign align = EAlign::Centre;
  EVAlign valign = EVAlign::Middle;

  ITextStyle() = default;
  /** Copies the font id, cut to 63 bytes. */
  void SetFont(const char* fontId);
};

/** Cursor shapes the platform maps to its own. */
enum class ECursor
{
  Arrow = 0,
  IBeam,
  Wait,
  Cross,
  UpArrow,
  SizeNWSE,
  SizeNESW,
  SizeWE,
  SizeNS,
  SizeAll,
  No,
  Hand,
  AppStarting,
  Help
};

/** A menu: title, items with optional submenus, the chosen item and a completion function. */
class IMenuModel
{
public:
  enum EItemFlags
  {
    kNoFlags = 0,
    kDisabled = 1 << 0,
    kTitle = 1 << 1,
    kChecked = 1 << 2,
    kSeparator = 1 << 3
  };

  struct Item
  {
    std::string text;
    int flags = kNoFlags;
    int tag = -1;
    std::unique_ptr<IMenuModel> submenu;

    bool IsDisabled() const { return flags & kDisabled; }
    bool IsChecked() const { return flags & kChecked; }
    bool IsSeparator() const { return flags & kSeparator; }
  };

  using CompletionFunc = std::function<void(IMenuModel* menu)>;

  IMenuModel() = default;
  explicit IMenuModel(const char* title) : mTitle(title ? title : "") {}
  IMenuModel(const IMenuModel&) = delete;
  IMenuModel& operator=(const IMenuModel&) = delete;

  Item& AddItem(const char* text, int flags = kNoFlags, int tag = -1);
  Item& AddSeparator() { return AddItem("", kSeparator); }
  /** The menu takes the submenu. */
  Item& AddSubmenu(const char* text, std::unique_ptr<IMenuModel> submenu);
  /** Removes every item, the title and the choice; keeps the completion function. */
  void Clear();

  int NItems() const { return static_cast<int>(mItems.size()); }
  const Item* GetItem(int index) const;
  Item* GetItem(int index);
  const std::string& GetTitle() const { return mTitle; }
  void SetTitle(const char* title) { mTitle = title ? title : ""; }

  /** -1 when nothing is chosen. */
  int GetChosenItemIdx() const { return mChosenItem; }
  void SetChosenItemIdx(int index) { mChosenItem = index; }
  const Item* GetChosenItem() const { return GetItem(mChosenItem); }

  void SetCompletionFunc(CompletionFunc func) { mCompletion = std::move(func); }
  /** Runs the completion function, if any, with this menu. */
  void ExecCompletion();

private:
  std::string mTitle;
  std::vector<Item> mItems;
  int mChosenItem = -1;
  CompletionFunc mCompletion;
};

} // namespace gfx
