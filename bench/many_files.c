/* The limit for decoding a body of many small files: the same number of files of the
 * same size, created new and written in one folder with nothing else to do (no body to
 * read or parse). Prints the seconds it took.
 *
 *   many_files OUTDIR COUNT BYTES
 */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: many_files OUTDIR COUNT BYTES\n");
    return 2;
  }
  const char* dir = argv[1];
  long count = strtol(argv[2], NULL, 10);
  size_t bytes = strtoull(argv[3], NULL, 10);
  char* data = malloc(bytes ? bytes : 1);
  if (!data) return 1;
  for (size_t i = 0; i < bytes; ++i) data[i] = (char)(i * 131 + 7);
  struct timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  char name[4096];
  for (long i = 0; i < count; ++i) {
    snprintf(name, sizeof name, "%s/%03ld%04lX.TMP", dir, i + 1, (unsigned long)i & 0xFFFF);
    int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 || write(fd, data, bytes) != (ssize_t)bytes || close(fd) != 0) {
      perror(name);
      return 1;
    }
  }
  clock_gettime(CLOCK_MONOTONIC, &t1);
  printf("%.6f\n", (double)(t1.tv_sec - t0.tv_sec) + (double)(t1.tv_nsec - t0.tv_nsec) / 1e9);
  free(data);
  return 0;
}
