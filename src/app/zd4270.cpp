// zd4270: the configuration tool for one terminal.
#include <cstdio>

int main() {
    std::puts("zd4270");
    return 0;
}
