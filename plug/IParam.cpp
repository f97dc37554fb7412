#include "plug/IParam.h"

#include "plug/Trace.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

namespace plug {

namespace {

void CopyText(char (&dest)[IParam::kTextSize], const char* source)
{
  std::memset(dest, 0, sizeof(dest));
  if (source)
    std::strncpy(dest, source, sizeof(dest) - 1);
}

// Length of the longest prefix of text that reads as an unsigned decimal
// number: digits, an optional "." with digits, an optional exponent.
size_t DecimalNumberLength(const char* text)
{
  size_t n = 0;
  size_t digits = 0;
  while (std::isdigit(static_cast<unsigned char>(text[n])))
    ++n, ++digits;
  if (text[n] == '.')
  {
    ++n;
    while (std::isdigit(static_cast<unsigned char>(text[n])))
      ++n, ++digits;
  }
  if (digits == 0)
    return 0;
  if (text[n] == 'e' || text[n] == 'E')
  {
    size_t e = n + 1;
    if (text[e] == '+' || text[e] == '-')
      ++e;
    if (std::isdigit(static_cast<unsigned char>(text[e])))
    {
      while (std::isdigit(static_cast<unsigned char>(text[e])))
        ++e;
      n = e;
    }
  }
  return n;
}

// Whether a decimal number that no double can hold is too large rather than
// too small: its first significant digit lies left of the decimal point once
// the exponent is applied.
bool IsBeyondLargestDouble(const char* number, size_t length)
{
  long long magnitude = 0;
  bool point = false;
  bool significant = false;
  size_t n = 0;
  for (; n < length && number[n] != 'e' && number[n] != 'E'; ++n)
  {
    if (number[n] == '.')
      point = true;
    else if (number[n] != '0' || significant)
    {
      significant = true;
      if (!point)
        ++magnitude;
    }
    else if (point)
      --magnitude;
  }
  long long exponent = 0;
  if (n < length)
  {
    const bool negative = number[++n] == '-';
    if (number[n] == '+' || number[n] == '-')
      ++n;
    for (; n < length; ++n)
      exponent = std::min(exponent * 10 + (number[n] - '0'), 1000000LL);
    exponent = negative ? -exponent : exponent;
  }
  return magnitude + exponent > 0;
}

// Leading decimal number of a text, 0 when there is none. Independent of the
// C locale, so "1.5" reads the same in every host.
double ReadLeadingNumber(const char* text)
{
  while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r' || *text == '\f' || *text == '\v')
    ++text;
  bool negative = false;
  if (*text == '+' || *text == '-')
    negative = (*text++ == '-');
  const size_t length = DecimalNumberLength(text);
  double value = 0.0;
  if (length == 0)
    return 0.0;
  const std::errc error = std::from_chars(text, text + length, value).ec;
  // Beyond the range of a double the number reads as infinity or 0, so that
  // clamping takes it to the range end it lies beyond.
  if (error == std::errc::result_out_of_range)
    value = IsBeyondLargestDouble(text, length) ? HUGE_VAL : 0.0;
  else if (error != std::errc())
    return 0.0;
  return negative ? -value : value;
}

} // namespace

double IParam::ShapeLinear::ShapeToPlain(double normalized, const IParam& param) const
{
  return param.GetMin() + normalized * (param.GetMax() - param.GetMin());
}

double IParam::ShapeLinear::PlainToShape(double plain, const IParam& param) const
{
  return (plain - param.GetMin()) / (param.GetMax() - param.GetMin());
}

int IParam::ShapePowCurve::CurveCode() const
{
  if (mExponent > 2.5)
    return 6;
  if (mExponent > 1.5)
    return 4;
  if (mExponent < 0.4)
    return 5;
  if (mExponent < 2.0 / 3.0)
    return 3;
  return 0;
}

double IParam::ShapePowCurve::ShapeToPlain(double normalized, const IParam& param) const
{
  return std::pow(normalized, mExponent) * (param.GetMax() - param.GetMin()) + param.GetMin();
}

double IParam::ShapePowCurve::PlainToShape(double plain, const IParam& param) const
{
  return std::pow((plain - param.GetMin()) / (param.GetMax() - param.GetMin()), 1.0 / mExponent);
}

IParam::IParam() : mShape(std::make_unique<ShapeLinear>()) {}

void IParam::SetupDouble(const char* name, double defaultValue, double minValue, double maxValue, double step,
                         const char* label, int flags, const char* group, const Shape& shape,
                         IParamDisplayFunc displayFunc)
{
  PLUG_TRACE("plug::IParam::SetupDouble");
  if (mType == kTypeNone)
    mType = kTypeDouble;
  CopyText(mName, name);
  CopyText(mLabel, label);
  CopyText(mGroup, group);
  mMin = minValue;
  mMax = std::max(maxValue, minValue + step);
  mStep = step;
  mDefault = defaultValue;
  mUnit = kUnitCode;
  mFlags = flags;
  mDisplayFunc = std::move(displayFunc);
  mValue.exchange(Clamp(defaultValue));

  mPrecision = 0;
  for (double s = step; s != std::floor(s) && mPrecision < 6; s *= 10.0)
    ++mPrecision;

  mShape.reset(shape.Duplicate());
  mShape->Bind(*this);
}

void IParam::SetType(EParamType type)
{
  if (mType == kTypeNone)
    mType = type;
}

void IParam::AddDisplayText(double value, const char* text)
{
  IParamDisplayText entry;
  entry.value = value;
  if (text)
    std::strncpy(entry.text, text, sizeof(entry.text) - 1);
  mDisplayTexts.push_back(entry);
}

double IParam::RoundToStep(double value) const
{
  return std::round(value / mStep) * mStep;
}

double IParam::Clamp(double value) const
{
  if (mFlags & kFlagStepped)
    value = RoundToStep(value);
  // This argument order also sends NaN to the minimum.
  return std::min(mMax, std::max(mMin, value));
}

double IParam::Normalize(double plain) const
{
  const double n = mShape->PlainToShape(Clamp(plain), *this);
  if (!(n > 0.0))
    return 0.0;
  return n > 1.0 ? 1.0 : n;
}

double IParam::Denormalize(double normalized) const
{
  return Clamp(mShape->ShapeToPlain(normalized, *this));
}

double IParam::GetDefaultValue(bool normalized) const
{
  return normalized ? Normalize(mDefault) : mDefault;
}

void IParam::FormatNumber(double value, std::string& text) const
{
  char buffer[400];
  char* out = buffer;
  if (mPrecision > 0)
  {
    if ((mFlags & kFlagSignDisplay) && value > 0.0)
      *out++ = '+';
    const auto result = std::to_chars(out, buffer + sizeof(buffer), value, std::chars_format::fixed, mPrecision);
    text.assign(buffer, result.ec == std::errc() ? result.ptr : buffer);
    return;
  }
  double rounded = std::round(value);
  rounded = std::isnan(rounded) ? 0.0 : std::min(std::max(rounded, double(INT_MIN)), double(INT_MAX));
  text = std::to_string(static_cast<int>(rounded));
}

void IParam::FormatValue(double value, bool isNormalized, std::string& text, bool useDisplayTexts) const
{
  PLUG_TRACE("plug::IParam::FormatValue");
  if (isNormalized)
    value = Clamp(mShape->ShapeToPlain(value, *this));

  text.clear();
  if (mDisplayFunc)
    mDisplayFunc(value, text);
  else
  {
    const IParamDisplayText* entry = nullptr;
    if (useDisplayTexts)
    {
      for (const IParamDisplayText& candidate : mDisplayTexts)
        if (candidate.value == value)
        {
          entry = &candidate;
          break;
        }
    }
    if (entry && entry->text[0])
      text = entry->text;
    else
    {
      if (mFlags & kFlagNegateDisplay)
        value = -value;
      if (value == 0.0)
        value = 0.0; // -0.0 shows as 0
      FormatNumber(value, text);
    }
  }
  if (text.size() > static_cast<size_t>(kTextSize))
    text.resize(kTextSize);
}

double IParam::ParseValue(const char* text) const
{
  PLUG_TRACE("plug::IParam::ParseValue");
  if (!text)
    text = "";
  if (!mDisplayTexts.empty())
  {
    for (const IParamDisplayText& entry : mDisplayTexts)
      if (std::strcmp(entry.text, text) == 0)
        return entry.value;
  }
  if (mType == kTypeBool || mType == kTypeEnum)
    return 0.0;

  double value = ReadLeadingNumber(text);
  if (mFlags & kFlagNegateDisplay)
    value = -value;
  return Clamp(value);
}

const char* IParam::GetUnitsText() const
{
  const double whole = std::trunc(GetPlain());
  for (const IParamDisplayText& entry : mDisplayTexts)
    if (entry.value == whole)
      return entry.text[0] ? "" : mLabel;
  return mLabel;
}

} // namespace plug
