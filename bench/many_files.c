/* The limit for decoding a body of many small files: the same number of files of the
 * same size, created new and written in one folder, with no parsing. Given the body, it
 * also reads it in 64 KiB chunks as the decoder's caller does (and as dd does for the
 * one big file), writing a file each time enough bytes have come in. Prints the seconds
 * it took.
 *
 *   many_files OUTDIR COUNT BYTES [BODY]
 */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    fprintf(stderr, "usage: many_files OUTDIR COUNT BYTES [BODY]\n");
    return 2;
  }
  const char* dir = argv[1];
  long count = strtol(argv[2], NULL, 10);
  size_t bytes = strtoull(argv[3], NULL, 10);
  char* data = malloc(bytes ? bytes : 1);
  static char chunk[65536];
  if (!data) return 1;
  for (size_t i = 0; i < bytes; ++i) data[i] = (char)(i * 131 + 7);
  struct timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  int body = argc == 5 ? open(argv[4], O_RDONLY | O_CLOEXEC) : -1;
  if (argc == 5 && body < 0) {
    perror(argv[4]);
    return 1;
  }
  size_t in = 0; /* body bytes read and not yet matched by a file */
  char name[4096];
  for (long i = 0; i < count; ++i) {
    while (body >= 0 && in < bytes) {
      ssize_t r = read(body, chunk, sizeof chunk);
      if (r <= 0) break;
      in += (size_t)r;
    }
    in = in > bytes ? in - bytes : 0;
    snprintf(name, sizeof name, "%s/%03ld%04lX.TMP", dir, i + 1, (unsigned long)i & 0xFFFF);
    int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 || write(fd, data, bytes) != (ssize_t)bytes || close(fd) != 0) {
      perror(name);
      return 1;
    }
  }
  while (body >= 0 && read(body, chunk, sizeof chunk) > 0) {
  }
  if (body >= 0) close(body);
  clock_gettime(CLOCK_MONOTONIC, &t1);
  printf("%.6f\n", (double)(t1.tv_sec - t0.tv_sec) + (double)(t1.tv_nsec - t0.tv_nsec) / 1e9);
  free(data);
  return 0;
}
