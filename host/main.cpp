#include "host/commands.hpp"

int main(int argc, char** argv) { return ostrel::host::dispatch(argc, argv); }
