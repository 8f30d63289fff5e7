/* Built against an installed vutil. */
#include <stdio.h>
#include <vutil.h>

int main(void) {
    char text[] = "a b";
    int32_t slot = -1;
    const char *first = KorStrtok(text, " ", &slot);
    if (GetMXRLANG() != 300 || first == NULL || first[0] != 'a') {
        return 1;
    }
    printf("vutil %d\n", GetMXRLANG());
    return 0;
}
