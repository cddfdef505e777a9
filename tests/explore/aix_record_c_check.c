/* Compiles the AIX track record header as C, so that the C and the C++ view of the record can be
 * compared (its offsets are asserted inside the header for both). */
#include <stddef.h>

#include "fogbell_aix_record.h"

size_t AixRecordSizeSeenFromC(void);

size_t AixRecordSizeSeenFromC(void) { return sizeof(AIXVAULTFILE); }
