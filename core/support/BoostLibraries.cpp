// Boost.JSON and Boost.URL compiled into the core rather than linked from Boost's archives, whose
// symbols are hidden: the executable exports these with the core, so that the modules it loads
// bind to its one copy and JSON values and URLs pass between them and the core unchanged.
#include <boost/json/src.hpp>
#include <boost/url/src.hpp>
