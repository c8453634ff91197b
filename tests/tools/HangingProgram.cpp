// Stands in for a dialer that hangs: it never ends by itself within any test's patience.
#include <chrono>
#include <thread>

int main()
{
    std::this_thread::sleep_for(std::chrono::minutes(10));
    return 0;
}
