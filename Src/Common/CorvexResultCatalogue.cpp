// Defines every RESULT_* constant. The constants are initialised in the order of the list, each
// by registering its row, while the library loads.

#include <Corvex/CorvexResult.h>

#define CORVEX_RESULT(name, category, code, message) \
    const int name = register_result_code(category, code, message);
#include <Corvex/CorvexResultCatalogue.inc>
#undef CORVEX_RESULT
