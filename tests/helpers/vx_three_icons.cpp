// A file with three icons for the icon lookup tests; running it does nothing.
int main() { return 0; }
