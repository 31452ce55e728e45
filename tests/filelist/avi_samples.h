// The sample recordings moved to the shared test support library.
#pragma once

#include "tests/support/sample_recordings.h"
