/* The host's share of an upload of many small files under Windows (or Wine): COUNT
 * files of one byte created in DIR the way the decoder creates them, a unique
 * temporary name from the part's number (001, 002, ..., 1000) opened again for
 * writing, then the same files deleted. Prints the seconds of the creation and of the
 * deletion.
 *
 *   create_files.exe DIR COUNT
 */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

static double now(void) {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return (double)t.QuadPart / (double)f.QuadPart;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: create_files DIR COUNT\n");
    return 2;
  }
  const char* dir = argv[1];
  int count = atoi(argv[2]);
  char(*names)[MAX_PATH] = malloc((size_t)(count > 0 ? count : 1) * MAX_PATH);
  if (!names) return 1;
  double t0 = now();
  for (int i = 0; i < count; ++i) {
    char prefix[16];
    snprintf(prefix, sizeof prefix, "%03d", i + 1);
    if (!GetTempFileNameA(dir, prefix, 0, names[i])) {
      fprintf(stderr, "no name for file %d\n", i + 1);
      return 1;
    }
    HANDLE h = CreateFileA(names[i], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD put = 0;
    if (h == INVALID_HANDLE_VALUE || !WriteFile(h, "x", 1, &put, NULL) || put != 1) {
      fprintf(stderr, "file %d could not be written\n", i + 1);
      return 1;
    }
    CloseHandle(h);
  }
  double t1 = now();
  for (int i = 0; i < count; ++i) DeleteFileA(names[i]);
  double t2 = now();
  printf("%.3f %.3f\n", t1 - t0, t2 - t1);
  free(names);
  return 0;
}
