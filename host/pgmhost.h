// Every declaration of the host services: catalogue, utilities, configuration, messages.
#ifndef PGMHOST_H
#define PGMHOST_H

#include "cfg.h"
#include "dev_catalogue.h"
#include "fio.h"
#include "gen.h"
#include "lxt.h"
#include "mem.h"
#include "msg.h"
#include "pgm_common.h"
#include "pgmhost_export.h"
#include "ver.h"
#include "zlib_util.h"

#endif  // PGMHOST_H
