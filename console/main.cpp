// twk: the command-line front-end. (Placeholder.)
#include <cstdio>

int main(int, char**)
{
    return 1;
}
