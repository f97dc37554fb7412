#pragma once

// The compressor's signal-processing blocks: the level follower and gain
// computer of a stage (envFollower, compressor), the character modes that
// configure a stage's detector (CharacterModes), the second-order filter
// (BiquadFilter), the detector shaping curves (ShapeVca, ShapeFet, ShapeOpto),
// the output saturator with its 2x oversampling around halfband filters
// (OutputSaturator, HalfbandFir, OversampledSaturator for both channels), exp,
// log and sin that give the same bits on every platform (PortableMath), the
// two channels' filters side by side (StereoBiquad), the passes that run
// wider where the processor allows (WideLanes), and the whole chain of a
// powered block (KorvelChain). All are small value types or pure
// functions: no allocation, no locks, no globals beyond constant tables, so
// they run on the audio thread as they are.

#include "BiquadFilter.h"
#include "CharacterModes.h"
#include "HalfbandFir.h"
#include "OutputSaturator.h"
#include "PortableMath.h"
#include "KorvelChain.h"
#include "OversampledSaturator.h"
#include "ShapeCurves.h"
#include "StereoBiquad.h"
#include "WideLanes.h"
#include "compressor.h"
#include "envFollower.h"
