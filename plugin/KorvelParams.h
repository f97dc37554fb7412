#pragma once

// Parameter indices of KORVEL. Pairs of stage controls sit side by side: the
// even index belongs to the Int stage, the odd one to the Int/Ext stage.

enum EKorvelParam
{
  kThresholdInt = 0,
  kThresholdExt,
  kRatioInt,
  kRatioExt,
  kAttackInt,
  kAttackExt,
  kReleaseInt,
  kReleaseExt,
  kMakeUpInt,
  kMakeUpExt,
  kInputInt,
  kInputExt,
  kMixInt,
  kMixExt,
  kPower,
  kExternalSidechain,
  kVcaInt,
  kFetInt,
  kOptoInt,
  kVcaExt,
  kFetExt,
  kOptoExt,
  kHighPassInt,
  kHighPassExt,
  kOversampling,
  kMeterInt,  // gain-reduction reading of the Int stage, sent to the editor
  kMeterExt,  // the same for the Int/Ext stage
  kNumKorvelParams
};
