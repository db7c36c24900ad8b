// The game executable: hands the process's command line to the entry point.
int main() { return 0; }
