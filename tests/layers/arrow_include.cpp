// Compiles: a header of the values room and one of a room it uses. Built with
// the same include view as the probe that must fail.
#include "app/base/result.h"
#include "app/values/formats.h"
