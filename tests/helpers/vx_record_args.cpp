// Stands in for a browser: writes its arguments after the first, one a line,
// to the file that the first names, so a test can see what the shell handed on.
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    FILE* pFile = std::fopen(argv[1], "w");
    if (pFile == NULL)
        return 1;
    for (int i = 2; i < argc; ++i)
        std::fprintf(pFile, "%s\n", argv[i]);
    return std::fclose(pFile) == 0 ? 0 : 1;
}
