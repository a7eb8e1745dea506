// Debian's cpp-httplib is a prebuilt shared library without ThreadSanitizer
// instrumentation: the sanitizer sees its memory accesses through interceptors
// but not all of its synchronisation, and reports races inside it that our
// code cannot cause. Reports from our own code are unaffected.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libcpp-httplib.so\n";
}
