#include "OversampledSaturation.h"

#include "HalfbandFir.h"
#include "OutputSaturator.h"

double SaturateOversampled(double x, int factor, HalfbandFir& up, HalfbandFir& down)
{
    if (factor != 2)
        return OutputSaturator(x);
    // Zero stuffing halves the level; the 2 before the saturator restores it.
    // The second sub-sample's output is dropped but must pass the down filter.
    const double result = down.Tick(OutputSaturator(2.0 * up.Tick(x)));
    down.Tick(OutputSaturator(2.0 * up.Tick(0.0)));
    return result;
}
