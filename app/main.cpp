#include "app/startup.h"
#include "worker/curl.h"

int main(int argc, char** argv)
{
    const curl::Global curl;
    return startup::run(argc, argv);
}
