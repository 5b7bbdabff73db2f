// The headless host's record, shared by its display and sound halves.
#pragma once
#include "host/headless/headless.h"

extern HeadlessHost headless_host;
