#include "engine/rundriver.h"
