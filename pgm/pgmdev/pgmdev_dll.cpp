// Library frame: load-time registration, unload-time release of the name databases, and the
// debug-message channel.
#include <cstdarg>

#include "mem.h"
#include "msg.h"
#include "pgmdev_check.h"
#include "pgmdev_ddb_mgr.h"
#include "pgmdev_debug.h"

namespace {

// At unload, releases the two name-database singletons, grammar first. An exception escaping
// either call terminates the process (the destructor is noexcept).
class PGMDEV_DLL_MAIN {
 public:
  ~PGMDEV_DLL_MAIN() {
    PGMDEV_DDB_GRAMMAR_MGR::delete_mgr();
    PGMDEV_DDB_OPN_MGR::delete_mgr();
  }
};

const MEM_INITIALIZER g_mem_initializer(PGMDEV_MODULE);
const PGMDEV_DLL_MAIN g_dll_main;

}  // namespace

void msg_vdebug_impl(int level, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  msg_local_vdebug(PGMDEV_MODULE, level, format, arguments);
  va_end(arguments);
}
