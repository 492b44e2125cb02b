// A program with no resources at all: what the executable check must reject
// when it is asked for an icon, a version resource and a manifest.
int main() { return 0; }
