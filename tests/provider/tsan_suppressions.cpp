// The test companion's HTTP server library is a system package built
// without ThreadSanitizer, so the synchronisation between its own worker
// threads is invisible to it. Races reported inside it are not ours; races
// in the extension are still reported.
extern "C" const char* __tsan_default_suppressions() { return "race:libcpp-httplib.so\n"; }
