#pragma once

// Sine-shaped output saturation: a quarter sine scaled so that small signals
// pass with a gain of about 0.98982 and inputs beyond +-10^0.9 give +-10^0.85.
double OutputSaturator(double x);
