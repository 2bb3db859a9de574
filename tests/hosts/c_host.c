/* A host written in C: the header compiles as C and the library links and runs. */
#include <ix_adapter.h>
#include <stdio.h>
#include <wchar.h>

int main(void) {
    ReaderHandle* reader = ix_reader_create();
    if (!reader) return 1;
    const wchar_t* version = ix_adapter_halcon_version();
    if (version != ix_adapter_halcon_version() || wcsncmp(version, L"20.11", 5) != 0) return 2;
    if (ix_reader_last_error(reader)[0] != L'\0') return 3;
    if (ix_node_kind(NULL) != IX_NODE_CONTAINER || ix_node_object_count(NULL) != 1) return 4;
    IxJsonParam param = {IX_JSON_CONVERT_ARRAYS_TO, IX_VALUE_STRING, L"tuple", 0, 0.0};
    if (sizeof param != 32 || param.key != 3) return 5;
    ix_reader_destroy(reader);
    printf("C host: %ls\n", version);
    return 0;
}
