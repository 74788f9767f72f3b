/* The yardstick for the start-up time: a console program built like zorvane.exe that only
   returns. */
int main(void) {
    return 0;
}
