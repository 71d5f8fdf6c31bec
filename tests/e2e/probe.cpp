// probe.exe: reads and pokes windows from outside the program under test.
int main() { return 0; }
