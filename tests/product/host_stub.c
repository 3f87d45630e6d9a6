// A host executable stand-in that carries only a version block.
int main(void) { return 0; }
