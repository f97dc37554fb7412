/* The nanosvg parser, compiled once. */
#include <stdio.h>
#include <string.h>
#include <math.h>
#define NANOSVG_IMPLEMENTATION 1
#include "nanosvg.h"
