/* window-clock TITLE COMMAND [ARGS...]: how long COMMAND takes from exec to the first
 * painted pixel of its window titled TITLE, and how much memory it then holds at rest.
 *
 * Runs on the current X display (Xvfb in the benchmarks). Watches the root window for the
 * window being mapped, then samples the pixel at the window's centre until it differs from
 * what the server showed before the client painted. Prints "painted_ms=... rss_kb=..." with
 * the resident memory one second after the first paint, then ends the command.
 */
#define _POSIX_C_SOURCE 200809L  // NOLINT(bugprone-reserved-identifier): the feature-test macro
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static long rss_kb(pid_t pid)
{
    char path[64], line[256];
    long kb = -1;
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE *status = fopen(path, "r");
    if (!status)
        return -1;
    while (fgets(line, sizeof line, status))
        if (sscanf(line, "VmRSS: %ld kB", &kb) == 1)
            break;
    fclose(status);
    return kb;
}

static int titled(Display *display, Window window, const char *title)
{
    char *name = NULL;
    int match = XFetchName(display, window, &name) && name && strcmp(name, title) == 0;
    XFree(name);
    return match;
}

static unsigned long centre_pixel(Display *display, Window window)
{
    XWindowAttributes a;
    if (!XGetWindowAttributes(display, window, &a) || a.map_state != IsViewable)
        return 0;
    XImage *image = XGetImage(display, window, a.width / 2, a.height / 2, 1, 1, AllPlanes, ZPixmap);
    if (!image)
        return 0;
    unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return pixel;
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: window-clock TITLE COMMAND [ARGS...]\n");
        return 2;
    }
    Display *display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "window-clock: no X display\n");
        return 2;
    }
    Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);

    const double start = now_ms();
    pid_t child = fork();
    if (child == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }

    Window window = 0;
    double painted = -1;
    while (now_ms() - start < 10000 && painted < 0) {
        while (!window && XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && titled(display, event.xmap.window, argv[1]))
                window = event.xmap.window;
        }
        /* An unpainted window shows black on Xvfb; both programs paint a light background. */
        if (window && centre_pixel(display, window) != 0)
            painted = now_ms() - start;
        else
            nanosleep(&(struct timespec){0, 200000}, NULL);
    }
    long rss = -1;
    if (painted >= 0) {
        sleep(1);  // NOLINT(concurrency-mt-unsafe): a single-threaded tool
        rss = rss_kb(child);
    }
    kill(child, SIGTERM);
    waitpid(child, NULL, 0);
    XCloseDisplay(display);
    if (painted < 0) {
        fprintf(stderr, "window-clock: no painted window titled \"%s\"\n", argv[1]);
        return 1;
    }
    printf("painted_ms=%.1f rss_kb=%ld\n", painted, rss);
    return 0;
}
