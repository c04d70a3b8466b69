/* Built with -m32 at configure time: tells whether this machine runs 32-bit programs. */
int main(void) { return sizeof(void*) == 4 ? 0 : 1; }
