#include "app/startup.h"
#include "core/site/curl.h"

int main(int argc, char** argv)
{
    const curl::Global curl;
    return startup::run(argc, argv);
}
