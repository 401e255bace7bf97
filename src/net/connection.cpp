#include "net/connection.h"
