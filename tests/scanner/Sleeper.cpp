// A harmless program for the tests to start, find and end: it sleeps for the seconds its first
// argument gives (default 300), then exits with 0.
#include <chrono>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 300;
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return 0;
}
