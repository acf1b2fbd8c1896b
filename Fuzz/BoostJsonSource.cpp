// Boost.JSON compiled into the fuzz targets, with their instrumentation, instead of linking the
// system's uninstrumented library: this way coverage feedback reaches the JSON parser too.
// Exactly one translation unit of a program may include this header.
#include <boost/json/src.hpp>
