// A file of the lowest floor that reaches up: the floor check must name it.
#pragma once
#include "core/records.h"
#include "device/device.h"
