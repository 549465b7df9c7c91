// The program that each component is linked into whole
// (cmake/BrevanComponent.cmake): it exists only to be linked, and a link that
// needs a library the component does not name fails.
int main() { return 0; }
