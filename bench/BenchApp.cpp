// The template of the benchmark's installed programs: a real executable with
// icon resources, copied to a folder of its own for every program.
int main()
{
    return 0;
}
