#pragma once

// The whole processing chain written out step by step with the DSP blocks,
// as plainly as possible and with no attempt at speed. KORVEL's processing
// must match it bit for bit; the benchmark also measures it.

#include "KorvelParams.h"
#include "dsp/dsp.h"

#include <cmath>

class ReferenceChain
{
public:
  explicit ReferenceChain(double sampleRate) : fs_(sampleRate)
  {
    for (int i = 0; i <= kOversampling; ++i)
      Set(i, kDefaults[i]);
  }

  // Plain parameter values, cooked the way the plug-in cooks them.
  void Set(int param, double v)
  {
    const int s = param % 2;
    switch (param)
    {
      case kThresholdInt:
      case kThresholdExt: threshold_[s] = -50.0 + (v - -20.0) / (10.0 - -20.0) * (0.0 - -50.0); break;
      case kRatioInt:
      case kRatioExt: ratio_[s] = v; break;
      case kAttackInt:
      case kAttackExt: attack_[s] = v * 10.0; break;
      case kReleaseInt:
      case kReleaseExt: release_[s] = v * 2000.0; break;
      case kMakeUpInt:
      case kMakeUpExt: makeUp_[s] = std::pow(10.0, v / 20.0); break;
      case kInputInt:
      case kInputExt: input_[s] = std::pow(10.0, v / 20.0); break;
      case kMixInt:
      case kMixExt: mix_[s] = v / 100.0; break;
      case kHighPassInt:
      case kHighPassExt: highPass_[s] = v; break;
      case kPower: power_ = static_cast<int>(v); break;
      case kExternalSidechain: external_ = static_cast<int>(v); break;
      case kVcaInt: vca_[0] = static_cast<int>(v) * 1; break;
      case kFetInt: fet_[0] = static_cast<int>(v) * 5; break;
      case kOptoInt: opto_[0] = static_cast<int>(v) * 10; break;
      case kVcaExt: vca_[1] = static_cast<int>(v) * 1; break;
      case kFetExt: fet_[1] = static_cast<int>(v) * 5; break;
      case kOptoExt: opto_[1] = static_cast<int>(v) * 10; break;
      case kOversampling:
        factor_ = v == 1.0 ? 2 : 0;
        latencyWanted_ = v == 1.0 ? 64 : 0;
        break;
      default: break;
    }
  }

  void SetSampleRate(double sampleRate) { fs_ = sampleRate; }

  // The cooked values in the form the plug-in's chain takes them.
  KorvelChain::Settings Cooked() const
  {
    KorvelChain::Settings c;
    for (int s = 0; s < 2; ++s)
      c.stages[s] = {threshold_[s], ratio_[s], attack_[s], release_[s], makeUp_[s], input_[s],
                     mix_[s],       highPass_[s], vca_[s], fet_[s],     opto_[s]};
    c.power = power_;
    c.externalSidechain = external_;
    c.oversamplingFactor = factor_;
    c.oversamplingLatency = latencyWanted_;
    return c;
  }

  void Reset()
  {
    upL_.Clear();
    downL_.Clear();
    upR_.Clear();
    downR_.Clear();
    for (compressor& c : comp_)
      c.Reset(fs_);
    for (BiquadFilter* f : {&outL_, &outR_})
      f->Clear();
    for (int s = 0; s < 2; ++s)
      for (BiquadFilter* f : {&bandL_[s], &bandR_[s], &highL_[s], &highR_[s]})
        f->Clear();
  }

  void Process(double** in, double** out, int frames)
  {
    outL_.Configure(2, Corner(5000.0), 0.0005, 0.0);
    outR_.Configure(2, Corner(5000.0), 0.0005, 0.0);
    for (int s = 0; s < 2; ++s)
    {
      bandL_[s].Configure(2, Corner(1500.0), 0.05, 0.0);
      bandR_[s].Configure(2, Corner(1500.0), 0.05, 0.0);
      highL_[s].Configure(1, Corner(highPass_[s]), 0.707, 0.0);
      highR_[s].Configure(1, Corner(highPass_[s]), 0.707, 0.0);
    }
    if (power_ == 0)
    {
      for (int f = 0; f < frames; ++f)
      {
        out[0][f] = in[0][f];
        out[1][f] = in[1][f];
      }
      latency = 0;
      meterSent[0] = meterSent[1] = 0.0;
      return;
    }

    for (int f = 0; f < frames; ++f)
    {
      o_ = -o_;
      const double dL = Clean(in[0][f]) + o_;
      const double dR = Clean(in[1][f]) + o_;

      // Int stage.
      const double gI = input_[0];
      const double uL = gI * dL;
      const double uR = gI * dR;
      const double gainI = StageGain(0, highL_[0].Tick(uL), highR_[0].Tick(uR));
      double aL = dL, aR = dR, targetI = 0.0;
      if (Code(0) != 0)
      {
        const double e = PortableExp(gainI * 0.1151292546497);
        aL = e * (uL / gI) * makeUp_[0] * mix_[0] + (uL / gI) * (1.0 - mix_[0]);
        aR = e * (uR / gI) * makeUp_[0] * mix_[0] + (uR / gI) * (1.0 - mix_[0]);
        targetI = PortableExp(2.0 * gainI * 0.1151292546497);
      }

      // Int/Ext stage.
      const double gE = input_[1];
      double sL = gE * aL, sR = gE * aR;
      if (external_ != 0)
      {
        sL = gE * Clean(in[2][f]);
        sR = gE * Clean(in[3][f]);
      }
      const double gainE = StageGain(1, highL_[1].Tick(sL), highR_[1].Tick(sR));
      double bL = aL, bR = aR, targetE = 0.0;
      if (Code(1) != 0)
      {
        const double e = PortableExp(gainE * 0.1151292546497);
        bL = e * aL * makeUp_[1] * mix_[1] + aL * (1.0 - mix_[1]);
        bR = e * aR * makeUp_[1] * mix_[1] + aR * (1.0 - mix_[1]);
        targetE = PortableExp(2.0 * gainE * 0.1151292546497);
      }

      // Saturation, the two channels' filters interleaved.
      double yL = 0.0, yR = 0.0;
      if (factor_ == 0)
      {
        yL = OutputSaturator(bL);
        yR = OutputSaturator(bR);
      }
      else
      {
        for (int j = 0; j < factor_; ++j)
        {
          double vL = j == 0 ? bL : 0.0;
          double vR = j == 0 ? bR : 0.0;
          vL = upL_.Tick(vL);
          vR = upR_.Tick(vR);
          vL = OutputSaturator(2.0 * vL);
          vR = OutputSaturator(2.0 * vR);
          vL = downL_.Tick(vL);
          vR = downR_.Tick(vR);
          if (j == 0)
          {
            yL = vL;
            yR = vR;
          }
        }
      }

      out[0][f] = outL_.Tick(yL) - o_;
      out[1][f] = outR_.Tick(yR) - o_;

      const double c = std::exp(-4.60517018599 / (fs_ * 0.3));
      Meter(meter_[0], targetI, c);
      Meter(meter_[1], targetE, c);
    }
    meterSent[0] = meter_[0];
    meterSent[1] = meter_[1];
    latency = latencyWanted_ * power_;
  }

  int latency = 0;
  double meterSent[2] = {0.0, 0.0};

private:
  static constexpr double kDefaults[kOversampling + 1] = {10, 10, 4, 4, 10, 10, 0.1, 0.1, 0, 0, 0, 0, 100,
                                                          100, 1, 0, 0, 0, 0, 0, 0, 0, 20, 20, 0};

  // Filter corners stay below 49 % of the sample rate.
  double Corner(double hz) const { return hz / fs_ < 0.49 ? hz / fs_ : 0.49; }

  static double Clean(double x) { return std::fabs(x) <= 1e30 ? x : 0.0; }

  int Code(int s) const { return vca_[s] + fet_[s] + opto_[s]; }

  double Shape(int s, double x) const
  {
    if (opto_[s])
      x = ShapeOpto(x);
    if (fet_[s])
      x = ShapeFet(x);
    if (vca_[s])
      x = ShapeVca(x);
    return x;
  }

  double StageGain(int s, double hL, double hR)
  {
    double gain = 0.0;
    if (Code(s) != 0)
    {
      const CharacterMode& mode = *FindCharacterMode(Code(s));
      const double right = bandR_[s].Tick(Shape(s, hR)) * mode.drive;
      const double left = bandL_[s].Tick(Shape(s, hL)) * mode.drive;
      gain = comp_[s].ComputeGainStereo(left, right);
      knee_[s] = mode.k1 + (ratio_[s] - 1.0) / 19.0 * (mode.k20 - mode.k1);
    }
    comp_[s].SetAttack(attack_[s]);
    comp_[s].SetRelease(release_[s]);
    comp_[s].SetHold(0.0);
    comp_[s].SetRatio(ratio_[s]);
    comp_[s].SetThreshold(threshold_[s]);
    comp_[s].SetKnee(knee_[s]);
    comp_[s].SetLimit(0);
    return gain;
  }

  static void Meter(double& state, double target, double c)
  {
    const double v = std::fabs(target);
    const double aim = v <= state ? v * 0.9875 : v * 1.0125;
    state = (state - aim) * c + aim;
  }

  double fs_;
  double threshold_[2], ratio_[2], attack_[2], release_[2], makeUp_[2], input_[2], mix_[2], highPass_[2];
  int vca_[2] = {0, 0}, fet_[2] = {0, 0}, opto_[2] = {0, 0};
  int power_ = 1, external_ = 0, factor_ = 0, latencyWanted_ = 0;
  double knee_[2] = {0.0, 0.0};
  double meter_[2] = {1.0, 1.0};
  double o_ = 1e-15;
  compressor comp_[2];
  BiquadFilter outL_, outR_, bandL_[2], bandR_[2], highL_[2], highR_[2];
  HalfbandFir upL_, downL_, upR_, downR_;
};
