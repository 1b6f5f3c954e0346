/*
 * A test driver for the card's device: it creates \Device\KT7100 and its
 * link \DosDevices\KT7100, and relays every device control to a program that
 * answers as the card (card_relay_server.exe), over the named pipe
 * \??\pipe\velscan-card-relay. Each open of the device opens the pipe; each
 * close closes it.
 *
 * One request on the pipe: code, input length, output length (three
 * little-endian 32-bit words), then the input bytes. One answer: succeeded
 * (0 or 1), bytes returned (two 32-bit words), then that many output bytes.
 *
 * The buffers are taken as the control code's transfer type says: buffered
 * controls in and out of the system buffer; direct controls take their input
 * from the system buffer and give their output through the MDL.
 */
#include <ddk/wdm.h>

#define RELAY_PIPE L"\\??\\pipe\\velscan-card-relay"

static UNICODE_STRING device_name = RTL_CONSTANT_STRING(L"\\Device\\KT7100");
static UNICODE_STRING link_name = RTL_CONSTANT_STRING(L"\\DosDevices\\KT7100");

static NTSTATUS complete(IRP *irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS pipe_write(HANDLE pipe, void *data, ULONG length)
{
    IO_STATUS_BLOCK io;
    NTSTATUS status;
    if (length == 0) return STATUS_SUCCESS;
    status = ZwWriteFile(pipe, NULL, NULL, NULL, &io, data, length, NULL, NULL);
    if (NT_SUCCESS(status) && io.Information != length) status = STATUS_PIPE_BROKEN;
    return status;
}

/* Reads exactly `length` bytes. */
static NTSTATUS pipe_read(HANDLE pipe, void *data, ULONG length)
{
    UCHAR *at = data;
    while (length > 0) {
        IO_STATUS_BLOCK io;
        NTSTATUS status = ZwReadFile(pipe, NULL, NULL, NULL, &io, at, length, NULL, NULL);
        if (!NT_SUCCESS(status)) return status;
        if (io.Information == 0 || io.Information > length) return STATUS_PIPE_BROKEN;
        at += io.Information;
        length -= (ULONG)io.Information;
    }
    return STATUS_SUCCESS;
}

static NTSTATUS WINAPI dispatch_create(DEVICE_OBJECT *device, IRP *irp)
{
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    UNICODE_STRING name = RTL_CONSTANT_STRING(RELAY_PIPE);
    OBJECT_ATTRIBUTES attributes;
    IO_STATUS_BLOCK io;
    HANDLE pipe = NULL;
    NTSTATUS status;

    (void)device;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                               NULL, NULL);
    status = ZwCreateFile(&pipe, GENERIC_READ | GENERIC_WRITE | SYNCHRONIZE, &attributes, &io,
                          NULL, FILE_ATTRIBUTE_NORMAL, 0, FILE_OPEN,
                          FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, NULL, 0);
    /* No card behind the relay: the device is not there. */
    if (!NT_SUCCESS(status)) return complete(irp, STATUS_NO_SUCH_DEVICE, 0);
    stack->FileObject->FsContext = pipe;
    return complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS WINAPI dispatch_close(DEVICE_OBJECT *device, IRP *irp)
{
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    (void)device;
    if (stack->FileObject->FsContext) ZwClose(stack->FileObject->FsContext);
    stack->FileObject->FsContext = NULL;
    return complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS WINAPI dispatch_control(DEVICE_OBJECT *device, IRP *irp)
{
    IO_STACK_LOCATION *stack = IoGetCurrentIrpStackLocation(irp);
    HANDLE pipe = stack->FileObject->FsContext;
    ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG in_length = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG out_length = stack->Parameters.DeviceIoControl.OutputBufferLength;
    ULONG method = code & 3;
    ULONG request[3];
    ULONG answer[2];
    UCHAR *input = irp->AssociatedIrp.SystemBuffer;
    UCHAR *output = NULL;
    NTSTATUS status;

    (void)device;
    if (!pipe) return complete(irp, STATUS_INVALID_HANDLE, 0);
    if (method == METHOD_BUFFERED) {
        output = irp->AssociatedIrp.SystemBuffer;
    } else if (method == METHOD_IN_DIRECT || method == METHOD_OUT_DIRECT) {
        if (out_length > 0) {
            if (!irp->MdlAddress) return complete(irp, STATUS_INVALID_PARAMETER, 0);
            output = MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority);
            if (!output) return complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
        }
    } else {
        /* The card knows no control without a transfer type of the I/O manager. */
        return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
    if ((in_length > 0 && !input) || (out_length > 0 && !output))
        return complete(irp, STATUS_INVALID_PARAMETER, 0);

    request[0] = code;
    request[1] = in_length;
    request[2] = out_length;
    status = pipe_write(pipe, request, sizeof(request));
    if (NT_SUCCESS(status)) status = pipe_write(pipe, input, in_length);
    if (NT_SUCCESS(status)) status = pipe_read(pipe, answer, sizeof(answer));
    if (!NT_SUCCESS(status)) return complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    if (answer[1] > out_length) return complete(irp, STATUS_DEVICE_PROTOCOL_ERROR, 0);
    status = pipe_read(pipe, output, answer[1]);
    if (!NT_SUCCESS(status)) return complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    if (answer[0] != 1) return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    return complete(irp, STATUS_SUCCESS, answer[1]);
}

static void WINAPI driver_unload(DRIVER_OBJECT *driver)
{
    IoDeleteSymbolicLink(&link_name);
    if (driver->DeviceObject) IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS WINAPI DriverEntry(DRIVER_OBJECT *driver, UNICODE_STRING *registry)
{
    DEVICE_OBJECT *device = NULL;
    NTSTATUS status;

    (void)registry;
    driver->MajorFunction[IRP_MJ_CREATE] = dispatch_create;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_close;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_control;
    driver->DriverUnload = driver_unload;

    status = IoCreateDevice(driver, 0, &device_name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) return status;
    status = IoCreateSymbolicLink(&link_name, &device_name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }
    return STATUS_SUCCESS;
}
