#pragma once

// One automatable parameter: range, step, default, flags, texts and a shape
// that maps plain values to the normalized range 0..1 in which hosts and
// controls exchange values. The plain value is atomic: the audio thread, the
// user-interface thread and host threads may read and write it without locks.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace plug {

/** Produces the display text of a plain value; when set it replaces all other formatting. */
using IParamDisplayFunc = std::function<void(double value, std::string& text)>;

/** A fixed display text for one exact plain value. */
struct IParamDisplayText
{
  double value = 0.0;
  char text[32] = {};
};

class IParam
{
public:
  enum EParamType
  {
    kTypeNone = 0,
    kTypeBool = 1,
    kTypeInt = 2,
    kTypeEnum = 3,
    kTypeDouble = 4
  };

  enum EFlags
  {
    kFlagsNone = 0,
    kFlagCannotAutomate = 0x1,
    kFlagStepped = 0x2,
    kFlagNegateDisplay = 0x4,
    kFlagSignDisplay = 0x8,
    // A reading the plug-in reports (a meter), not a control: hosts show it
    // read-only and neither automate nor set it.
    kFlagMeter = 0x10
  };

  static constexpr int kUnitCode = 21;
  static constexpr int kTextSize = 32;

  /** Normalized <-> plain mapping; a parameter owns a duplicate of the shape it was given. */
  class Shape
  {
  public:
    virtual ~Shape() = default;
    virtual Shape* Duplicate() const = 0;
    virtual void Bind(IParam& /*owner*/) {}
    virtual int CurveCode() const = 0;
    virtual double ShapeToPlain(double normalized, const IParam& param) const = 0;
    virtual double PlainToShape(double plain, const IParam& param) const = 0;
  };

  class ShapeLinear : public Shape
  {
  public:
    Shape* Duplicate() const override { return new ShapeLinear(*this); }
    int CurveCode() const override { return 0; }
    double ShapeToPlain(double normalized, const IParam& param) const override;
    double PlainToShape(double plain, const IParam& param) const override;
  };

  /** plain = x^exponent scaled to the range; exponents above 1 give finer control near the minimum. */
  class ShapePowCurve : public Shape
  {
  public:
    explicit ShapePowCurve(double exponent) : mExponent(exponent) {}
    Shape* Duplicate() const override { return new ShapePowCurve(*this); }
    int CurveCode() const override;
    double ShapeToPlain(double normalized, const IParam& param) const override;
    double PlainToShape(double plain, const IParam& param) const override;
    double Exponent() const { return mExponent; }

  private:
    double mExponent;
  };

  IParam();
  IParam(const IParam&) = delete;
  IParam& operator=(const IParam&) = delete;

  /** Defines the parameter; texts longer than 31 bytes are cut. Keeps a type code set before. */
  void SetupDouble(const char* name, double defaultValue, double minValue, double maxValue, double step,
                   const char* label = "", int flags = kFlagsNone, const char* group = "",
                   const Shape& shape = ShapeLinear(), IParamDisplayFunc displayFunc = nullptr);

  /** Sets the type code, only while none is set yet (integer, boolean and enumeration parameters). */
  void SetType(EParamType type);

  /** Appends a (value, text) pair; no search, no sorting. */
  void AddDisplayText(double value, const char* text);

  void SetPlain(double value) { mValue.exchange(Clamp(value)); }
  double GetPlain() const { return mValue.load(); }

  /** Step rounding (stepped flag only, half away from zero), then range clamp. */
  double Clamp(double value) const;
  double Normalize(double plain) const;
  double Denormalize(double normalized) const;
  double GetNormalized() const { return Normalize(GetPlain()); }
  double GetDefaultValue(bool normalized = false) const;

  /** Display text of a value, at most 32 characters. */
  void FormatValue(double value, bool isNormalized, std::string& text, bool useDisplayTexts = true) const;
  /** Plain value of a typed or host-sent text. */
  double ParseValue(const char* text) const;
  /** The label, or "" when the current value has a non-empty display text. */
  const char* GetUnitsText() const;

  EParamType Type() const { return static_cast<EParamType>(mType); }
  int Unit() const { return mUnit; }
  double GetMin() const { return mMin; }
  double GetMax() const { return mMax; }
  double GetStep() const { return mStep; }
  int GetPrecision() const { return mPrecision; }
  int GetFlags() const { return mFlags; }
  bool CanAutomate() const { return !(mFlags & (kFlagCannotAutomate | kFlagMeter)); }
  bool IsStepped() const { return mFlags & kFlagStepped; }
  bool IsMeter() const { return mFlags & kFlagMeter; }
  const char* GetName() const { return mName; }
  const char* GetLabel() const { return mLabel; }
  const char* GetGroup() const { return mGroup; }
  const Shape& GetShape() const { return *mShape; }
  int NDisplayTexts() const { return static_cast<int>(mDisplayTexts.size()); }
  const IParamDisplayText& DisplayTextAt(int index) const { return mDisplayTexts[index]; }

private:
  double RoundToStep(double value) const;
  void FormatNumber(double value, std::string& text) const;

  int mType = kTypeNone;
  int mUnit = kUnitCode;
  std::atomic<double> mValue{0.0};
  double mMin = 0.0;
  double mMax = 1.0;
  double mStep = 1.0;
  double mDefault = 0.0;
  int mPrecision = 0;
  int mFlags = kFlagsNone;
  char mName[kTextSize] = {};
  char mLabel[kTextSize] = {};
  char mGroup[kTextSize] = {};
  std::unique_ptr<Shape> mShape;
  IParamDisplayFunc mDisplayFunc;
  std::vector<IParamDisplayText> mDisplayTexts;
};

} // namespace plug
