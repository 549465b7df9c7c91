// mdbwrite: makes Jet 4 databases for tests and demos.
#include <cstdio>
#include <exception>

int RunMdbWrite(int argc, char** argv);

int main(int argc, char** argv) {
    try {
        return RunMdbWrite(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mdbwrite: %s\n", e.what());
        return 1;
    }
}
